// Text built in memory: printf into a local buffer, appended to the string
// (whose capacity stays from one use to the next).
#include "text_buffer.h"

#include <cstdarg>
#include <cstdio>

void text_printf(Text* t, const char* format, ...) {
  char line[1024];
  va_list args;
  va_start(args, format);
  int n = vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (n < 0) return;
  if ((size_t)n < sizeof line) {
    t->s.append(line, (size_t)n);
    return;
  }
  std::string longer((size_t)n + 1, '\0');  // a line longer than any RINEX line
  va_start(args, format);
  vsnprintf(&longer[0], longer.size(), format, args);
  va_end(args);
  t->s.append(longer.c_str(), (size_t)n);
}

void text_puts(Text* t, const char* s) { t->s += s; }
