#include "gapless.h"

#include <cstdlib>
#include <sstream>

bool parseITunSmpb(const std::string& text, Gapless* g) {
    std::istringstream in(text);
    std::string f[4];
    for (auto& s : f)
        if (!(in >> s)) return false;
    char* end;
    const long long delay = std::strtoll(f[1].c_str(), &end, 16);
    if (*end) return false;
    const long long length = std::strtoll(f[3].c_str(), &end, 16);
    if (*end || delay < 0 || length <= 0) return false;
    g->skip = delay;
    g->length = length;
    return true;
}
