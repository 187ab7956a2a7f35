// The firmware's interface numbers (ifDevGet) of the router's ports; the
// sandbox maps the same numbers to its interfaces (sim/zezarur_sim/plan.py).
#pragma once

namespace zezarur::device {

constexpr int lanInterface = 2;
constexpr int dmzInterface = 3;
constexpr int wanInterfaces[] = {4, 5};  // WAN1, WAN2

}  // namespace zezarur::device
