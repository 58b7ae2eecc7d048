// The T.30 session parameters a class 2 or 2.0 modem reports: what the DTE
// allows (+FDCC/+FCC), what the far machine offers (+FDIS/+FIS) and what the
// two agree on for a page (+FDCS/+FCS). The far machine vmodem calls takes
// everything its decoder reads: fine resolution, 14400 bit/s, A4 width, any
// length, one-dimensional coding.
#pragma once

#include <array>
#include <string>

namespace vmodem {

// vr, br, wd, ln, df, ec, bf, st
using FaxParams = std::array<int, 8>;

FaxParams DefaultFaxParams();
FaxParams FarMachineParams();
// Sets the fields given in "a,b,,d" (empty ones keep their value); false
// (and params unchanged) when a value is out of range or the text malformed.
bool ParseFaxParams(const std::string &text, FaxParams &params);
std::string FormatFaxParams(const FaxParams &params);
FaxParams Negotiate(const FaxParams &allowed, const FaxParams &offered);
// The signalling rate of a negotiated br value, in bit/s.
int FaxBitRate(const FaxParams &params);

} // namespace vmodem
