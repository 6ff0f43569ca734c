// kva's messages on standard error.
#pragma once

#include <string>

namespace cli {

// Prints "kva: <message>" and a newline to standard error.
void PrintError(const std::string& message);

// Prints "<message>" and a newline to standard error (notes, not errors).
void PrintNote(const std::string& message);

// Quotes a path for a message.
std::string Quoted(const std::string& path);

// The last system error of the calling thread in words.
std::string LastErrorText();

}  // namespace cli
