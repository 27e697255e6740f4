// Values as Java prints them, for the framed replies. Pure: no VM needed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Java's Double.toString / Float.toString: the shortest digits that read back as the
// value (two when one digit would be further from it), in plain notation from 10^-3 up
// to 10^7 and "d.dddE±n" outside; NaN, Infinity, -0.0 as Java spells them.
std::string format_floating(double v, bool is_float);

// UTF-16 text as the VM's modified UTF-8 spells it (each unit on its own, so lone
// surrogates survive), for escape_text to turn back into \uXXXX units.
std::string utf16_to_text(const uint16_t* chars, size_t count);
