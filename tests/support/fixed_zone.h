#pragma once

#include <cstdlib>
#include <ctime>
#include <string>

namespace kestrow::test {

// Runs a test under a fixed time zone and restores the previous one afterwards.
class TFixedZone {
public:
    explicit TFixedZone(const char* zone) {
        const char* old = std::getenv("TZ");
        FHad = old != nullptr;
        FOld = FHad ? old : "";
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~TFixedZone() {
        if (FHad) {
            ::setenv("TZ", FOld.c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }

private:
    bool FHad = false;
    std::string FOld;
};

} // namespace kestrow::test
