#pragma once
#include <string>

namespace mm::sys {

// The processor's CPUID leaf 1, EDX then EAX, each as 8 upper-case hex digits
// (16 characters). Machines without CPUID give sixteen zeros.
std::string DeviceTag();

}  // namespace mm::sys
