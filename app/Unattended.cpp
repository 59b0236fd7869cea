#include "Unattended.h"

#include <cstring>

bool unattendedRequested(const char* value) {
    return value && *value && std::strcmp(value, "0") != 0;
}
