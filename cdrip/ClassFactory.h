#pragma once

namespace cld {

// A new CDRipObject (as the pointer GetClassObject hands out), or null.
void* createCDRipObject();

} // namespace cld
