// numtext.h -- the digit routines that write peak-line numbers.
//
// Numbers are truncated, never rounded; a fraction keeps its leading
// zeros; an integer part of 0 writes no digit. Every routine writes into a
// caller's buffer and allocates nothing.
#pragma once

#include <cstdint>

// Largest text ftoa writes for any float and afterpoint <= 10 (sign,
// 39 integer digits, point, 10 decimals, terminator).
constexpr int ftoa_max = 56;

void reverse(char* text, int32_t len);
int32_t intToStr(int32_t x, char* text, int32_t d);
// Returns the length of the text written (the terminator not counted).
int32_t ftoa(float n, char* text, int32_t afterpoint);
char* itoa(int32_t value, char* text);
int32_t float2int(double x);

// "<m/z> <intensity>" of a peak line: ftoa with 4 decimals, a blank, ftoa
// with 1 decimal. Returns the length; writes no terminator.
int32_t peak_pair_text(float mz, float intensity, char* text);


// The value column: v truncated toward zero, written with width 0 (empty
// for 0). Returns the length.
int32_t value_text(float v, char* text);
