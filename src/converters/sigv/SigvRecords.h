#pragma once

// Records of the signal-processing messages whose layout is written by hand.
namespace SigVConverter
{
// A frequency range in Hz; on the wire one range value "min,max".
struct struFREQUENCY_RANGE
{
    unsigned long long ullMin = 0;
    unsigned long long ullMax = 0;
    bool operator==(const struFREQUENCY_RANGE& a_o) const { return ullMin == a_o.ullMin && ullMax == a_o.ullMax; }
};
}  // namespace SigVConverter
