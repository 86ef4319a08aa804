// Keeps the PNG library's own messages off stderr: a picture that can't be read or written is
// reported in one line by the program, not in one line of the library's and one of ours.
//
// The image plug-in of the toolkit creates its PNG reader and writer with the library's default
// error printer and a warning callback of its own that prints too. Every program that reads or
// writes PNG files links this file: its png_set_error_fn comes before the library's in the
// lookup, and hands the library a silent error callback (which, as the default, jumps back to
// the caller, who then fails) and a silent warning callback.
#include <dlfcn.h>
#include <png.h>

namespace {

[[noreturn]] void SilentError(png_structp png, png_const_charp /*message*/) { png_longjmp(png, 1); }

void SilentWarning(png_structp /*png*/, png_const_charp /*message*/) {}

using SetErrorFn = void (*)(png_structrp, png_voidp, png_error_ptr, png_error_ptr);

SetErrorFn LibrarySetErrorFn() {
  void* function = ::dlvsym(RTLD_NEXT, "png_set_error_fn", "PNG16_0");
  if (function == nullptr) function = ::dlsym(RTLD_NEXT, "png_set_error_fn");
  return reinterpret_cast<SetErrorFn>(function);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void png_set_error_fn(png_structrp png,
                                                                        png_voidp error_pointer,
                                                                        png_error_ptr error_fn,
                                                                        png_error_ptr) {
  static const SetErrorFn library = LibrarySetErrorFn();
  if (library == nullptr) return;
  library(png, error_pointer, error_fn != nullptr ? error_fn : SilentError, SilentWarning);
}
