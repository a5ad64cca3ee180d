#include "common/warnings.h"

#include <string>

#include "common/format.h"
#include "common/session.h"

void warn_at(Session& s, std::string_view subject, const char* section, size_t offset, std::string_view rest) {
    std::string text(subject);
    text += " at offset 0x";
    append_hex(text, offset);
    text += " of ";
    text += section;
    text += rest;
    warn(s, text);
}
