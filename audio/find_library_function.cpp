// The lookup of further functions in the loaded audio libraries (Windows only).
#include "audio/further_functions.h"

void* FindLibraryFunction(const char* library, const char* name) {
    const HMODULE module = GetModuleHandleA(library);
    if (module == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<void*>(GetProcAddress(module, name));
}
