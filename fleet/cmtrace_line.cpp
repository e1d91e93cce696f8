// The CMTrace line: the text made safe, then its attributes.
#include "fleet/cmtrace_line.h"

#include "platform/text.h"

bool cmTraceLine(char* line, unsigned capacity, const char* textIn, LogType type, unsigned long long time,
                 unsigned long thread) {
    line[0] = '\0';
    if (!text::append(line, capacity, "<![LOG[")) return false;
    unsigned used = 7;
    for (const char* c = textIn; *c != '\0'; ++c) {
        char one = *c == '\r' || *c == '\n' ? ' ' : *c;
        // The ">" that would complete "]LOG]!>" in what is written so far.
        if (one == '>' && used >= 13 && text::equal(line + used - 6, "]LOG]!")) one = ')';
        if (used + 1 >= capacity) return false;
        line[used++] = one;
        line[used] = '\0';
    }
    char number[12];
    text::numberText(static_cast<unsigned>(thread), number);
    const char kind[2] = {static_cast<char>('0' + type), '\0'};
    char stamp[64] = "";
    text::appendCmTraceTime(stamp, sizeof stamp, time);
    return text::appendFormat(line, capacity,
                              "]LOG]!><% component=\"quillmend-run\" context=\"\" type=\"%\" thread=\"%\" file=\"\">\r\n",
                              stamp, kind, number);
}
