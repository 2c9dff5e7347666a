# fuzz.mk -- the fuzz build, run by fuzz/build.sh: every fuzz/fuzz_*.cpp
# linked with libFuzzer, AddressSanitizer and UBSan, and the seed writer.
ROOT := $(abspath $(dir $(lastword $(MAKEFILE_LIST)))/..)
OUT ?= $(ROOT)/build-fuzz
CXX_FUZZ ?= clang++

FLAGS := -std=c++20 -O1 -g -fno-omit-frame-pointer -Wall -Wextra -Wconversion \
         -MMD -MP -I$(ROOT)/src -I$(ROOT)/tools -I$(ROOT)/fuzz
SAN := -fsanitize=address,undefined -fno-sanitize-recover=all

CORE := $(filter-out %/main0.85.cpp,$(wildcard $(ROOT)/src/*.cpp $(ROOT)/src/*/*.cpp))
# The fixture library: every tools/ source without a main of its own.
FIXTURE := $(shell grep -L '^int main' $(ROOT)/tools/*.cpp)
HARNESSES := $(wildcard $(ROOT)/fuzz/fuzz_*.cpp)

obj = $(patsubst $(ROOT)/%.cpp,$(OUT)/obj/$(1)/%.o,$(2))
FUZZ_CORE := $(call obj,fuzz,$(CORE))
PLAIN := $(call obj,plain,$(CORE) $(FIXTURE) $(ROOT)/fuzz/seeds.cpp)
FUZZERS := $(patsubst $(ROOT)/fuzz/%.cpp,$(OUT)/%,$(HARNESSES))

all: $(FUZZERS) $(OUT)/kolvex-seeds

$(OUT)/obj/fuzz/%.o: $(ROOT)/%.cpp
	@mkdir -p $(dir $@)
	$(CXX_FUZZ) $(FLAGS) $(SAN) -fsanitize=fuzzer-no-link -DKOLVEX_LIBFUZZER -c $< -o $@

$(OUT)/obj/plain/%.o: $(ROOT)/%.cpp
	@mkdir -p $(dir $@)
	$(CXX_FUZZ) $(FLAGS) -c $< -o $@

$(OUT)/fuzz_%: $(OUT)/obj/fuzz/fuzz/fuzz_%.o $(FUZZ_CORE)
	$(CXX_FUZZ) $(SAN) -fsanitize=fuzzer $^ -o $@

$(OUT)/kolvex-seeds: $(PLAIN)
	$(CXX_FUZZ) $^ -o $@

-include $(shell find $(OUT)/obj -name '*.d' 2>/dev/null)
.PHONY: all
