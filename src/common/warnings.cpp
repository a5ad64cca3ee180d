#include "common/warnings.h"

#include <string>

#include "common/format.h"
#include "common/session.h"

void warn_at(Session& s, std::string_view subject, const char* section, size_t offset, std::string_view rest) {
    std::string text(subject);
    append_printf(text, " at offset 0x%zX of ", offset);
    text += section;
    text += rest;
    warn(s, text);
}
