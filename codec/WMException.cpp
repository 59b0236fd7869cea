#include "WMException.h"

const char* WMException::what() const noexcept {
    return "media component failure";
}
