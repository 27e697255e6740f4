// How the explorer writes numbers, sizes and type names.
#pragma once

#include <QString>

#include <string>
#include <string_view>

// 1234567 -> "1,234,567", whatever the user's locale, so copied rows read the same
// everywhere.
QString countText(long long value);
// A share of the heap: 0.1234 -> "12.3 %"; below 0.1 % "< 0.1 %".
QString shareText(double fraction);
// 1536 -> "1.5 KiB"; for totals in the connection and status lines.
QString bytesText(long long bytes);
// Milliseconds as the status bar shows them: "0.4 ms", "12 ms", "3.2 s".
QString durationText(double ms);

// A type as a Java programmer writes it: "[I" -> "int[]"; names that are no arrays stay.
QString javaTypeText(const std::string& wireType);

QString fromWire(const std::string& text);
