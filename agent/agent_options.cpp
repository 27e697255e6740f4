#include "agent_options.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

int atoi_sat(const char* text)
{
    errno = 0;
    long v = strtol(text, nullptr, 10);
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

// Splits s in place at any of delims, strtok-style (empty pieces vanish), without strtok's
// hidden state so the caller can nest it.
static char* next_token(char*& cursor, const char* delims)
{
    cursor += strspn(cursor, delims);
    if (*cursor == '\0') return nullptr;
    char* start = cursor;
    cursor += strcspn(cursor, delims);
    if (*cursor != '\0') *cursor++ = '\0';
    return start;
}

void parse_options(const char* options, AgentSettings& s, FILE* echo)
{
    fprintf(echo, "%s\n", options);

    std::string copy(options);
    char* cursor = copy.data();
    char* items[MAX_OPTION_ITEMS];
    int n = 0;
    while (n < MAX_OPTION_ITEMS) {
        char* item = next_token(cursor, ",");
        if (!item) break;
        items[n++] = item;
    }
    fprintf(echo, "i=%d\n", n);

    for (int i = 0; i < n; i++) {
        fprintf(echo, "1:token=%s\n", items[i]);
        char* kv = items[i];
        const char* key = next_token(kv, "=");
        const char* value = key ? next_token(kv, "=") : nullptr;
        if (!key || !value) continue;
        if (strcmp(key, "port") == 0) {
            s.port = atoi_sat(value);
            fprintf(echo, "PORT=%d\n", s.port);
        } else if (strcmp(key, "kind") == 0) {
            s.kind = atoi_sat(value);
            fprintf(echo, "LIMIT=%d\n", s.kind);
        } else if (strcmp(key, "debug") == 0) {
            s.debug = atoi_sat(value);
            fprintf(echo, "debug=%d\n", s.debug);
        } else if (strcmp(key, "walkmem") == 0) {
            int mib = atoi_sat(value);
            if (mib > 0) s.walkmem_mib = mib;
            fprintf(echo, "walkmem=%d\n", s.walkmem_mib);
        }
    }
}
