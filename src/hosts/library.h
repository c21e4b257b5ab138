// The one way the desktop host reaches a library it does not link against:
// loaded when the host starts (so headless runs work where it is not
// installed), never closed (what it set up may still run at exit), and its
// functions looked up once, into a table of pointers named as the functions.
#pragma once

#include <dlfcn.h>

#include <initializer_list>
#include <string>

namespace squarefield {

class Library {
 public:
  // The first of `names` the loader can load; empty when none, with the
  // loader's reason for the first name in `reason`.
  static Library Load(std::initializer_list<const char*> names, std::string* reason = nullptr) {
    for (const char* name : names) {
      if (void* handle = dlopen(name, RTLD_NOW | RTLD_LOCAL)) return Library(handle);
      const char* why = dlerror();
      if (reason != nullptr && reason->empty() && why != nullptr) *reason = why;
    }
    return Library(nullptr);
  }
  // The library if something in this process loaded it already; empty if not.
  static Library AlreadyLoaded(const char* name) { return Library(dlopen(name, RTLD_NOW | RTLD_NOLOAD)); }

  explicit operator bool() const { return handle_ != nullptr; }
  // Points `function` at the library's function `name`; false when it has none.
  template <class F>
  bool Find(const char* name, F& function) const {
    function = handle_ != nullptr ? reinterpret_cast<F>(dlsym(handle_, name)) : nullptr;
    return function != nullptr;
  }

 private:
  explicit Library(void* handle) : handle_(handle) {}
  void* handle_;
};

// A table's members, one pointer per function the list names (X(name) ...),
// typed from the function's own declaration.
#define SQUAREFIELD_LIBRARY_POINTER(name) decltype(&::name) name = nullptr;
// In a function of `library` and `table` returning const char*: returns the
// first function the library lacks.
#define SQUAREFIELD_LIBRARY_FIND(name) \
  if (!library.Find(#name, table.name)) return #name;

}  // namespace squarefield
