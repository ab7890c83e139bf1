// How recorded DRO values print: any double the plug-in may hand the host,
// infinities included (an infinite DRO stepped down is sent back infinite).
#include "sim/host_call.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace quenta::sim {
namespace {

TEST(HostCallTest, EveryDoublePrintsAndReadsBack) {
  const double infinity = std::numeric_limits<double>::infinity();
  EXPECT_EQ(FormatDouble(infinity), "inf");
  EXPECT_EQ(FormatDouble(-infinity), "-inf");
  EXPECT_EQ(FormatCall(HostCall::SetDRO(821, infinity)), "SetDRO 821 inf");
  EXPECT_NE(FormatDouble(std::nan("")).find("nan"), std::string::npos);
  for (double value : {250.0, 110.00000000000001, 0.001, -7.5, 1e-9, 1.7976931348623157e308})
    EXPECT_EQ(std::strtod(FormatDouble(value).c_str(), nullptr), value) << FormatDouble(value);
}

}  // namespace
}  // namespace quenta::sim
