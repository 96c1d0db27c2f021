// Fontconfig, which Cairo uses to find the fonts of the pictures' text, keeps a few
// allocations of its configuration until the process ends; LeakSanitizer would report
// them at the end of every test that draws a picture. They are the library's, not ours.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
