#pragma once

class NameText;

// The ripper library's one export. name "CDDAObject" gives a new CDDAObject,
// "CDRipObject" a new CDRipObject (exact text, case counts); anything else null. The
// caller keeps ownership of name and destroys the object through its Dispose slot.
extern "C" void* GetClassObject(NameText* name);

using GetClassObjectFn = void* (*)(NameText*);
