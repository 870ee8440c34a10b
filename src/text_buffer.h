// Text built in memory with printf formats: headers and navigation records
// are formatted once into text and then handed to the output stage.
#ifndef VLN_TEXT_BUFFER_H
#define VLN_TEXT_BUFFER_H

#include <string>

struct Text {
  std::string s;
};

// Appends the formatted text.
void text_printf(Text* t, const char* format, ...) __attribute__((format(printf, 2, 3)));
void text_puts(Text* t, const char* s);

#endif
