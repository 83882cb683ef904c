// Only for sanitizer builds: LeakSanitizer asks for this at start.
// Fontconfig, Pango, SDL and Xlib keep caches for the life of the process
// and some are never freed; they are not this program's leaks.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n"
         "leak:libpango\n"
         "leak:libglib\n"
         "leak:libgobject\n"
         "leak:libharfbuzz\n"
         "leak:libSDL2\n"
         "leak:libX11.so\n"
         "leak:libdbus\n";
}
