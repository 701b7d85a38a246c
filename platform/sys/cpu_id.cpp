#include "platform/sys/cpu_id.h"

#include <cstdio>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace mm::sys {

std::string DeviceTag() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
#if defined(__x86_64__) || defined(__i386__)
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) eax = edx = 0;
#endif
    char buf[17];
    std::snprintf(buf, sizeof buf, "%08X%08X", edx, eax);
    return buf;
}

}  // namespace mm::sys
