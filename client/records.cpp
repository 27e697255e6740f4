#include "records.h"

#include <cerrno>
#include <cstdlib>

#include "wire_text.h"

namespace {

const std::string kNoField;

Record recordOf(std::string_view line)
{
    Record record;
    size_t begin = 0;
    for (;;) {
        const size_t tab = line.find('\t', begin);
        record.fields.push_back(unescapeField(line.substr(begin, tab == std::string_view::npos ? tab : tab - begin)));
        if (tab == std::string_view::npos)
            return record;
        begin = tab + 1;
    }
}

}  // namespace

const std::string& Record::kind() const
{
    return field(0);
}

const std::string& Record::field(size_t i) const
{
    return i < fields.size() ? fields[i] : kNoField;
}

std::vector<Record> splitRecords(std::string_view body)
{
    std::vector<Record> records;
    for (size_t begin = 0, end; (end = body.find('\n', begin)) != std::string_view::npos; begin = end + 1)
        records.push_back(recordOf(body.substr(begin, end - begin)));
    return records;
}

double figureNumber(const Figures& figures, const std::string& key, double fallback)
{
    const auto it = figures.find(key);
    if (it == figures.end() || it->second.empty())
        return fallback;
    char* end = nullptr;
    const double value = std::strtod(it->second.c_str(), &end);
    return *end == '\0' ? value : fallback;
}

long long countOf(const std::string& text, long long fallback)
{
    if (text.empty())
        return fallback;
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    return *end == '\0' && errno != ERANGE ? value : fallback;
}

long long figureCount(const Figures& figures, const std::string& key, long long fallback)
{
    const auto it = figures.find(key);
    return it == figures.end() ? fallback : countOf(it->second, fallback);
}

bool readStatus(const Record& record, Status& status)
{
    const std::string& kind = record.kind();
    if (record.fields.size() < 2 || record.field(1).empty() || (kind != "ok" && kind != "error"))
        return false;
    status = Status{};
    status.ok = kind == "ok";
    status.verb = record.field(1);
    if (!status.ok) {
        if (record.fields.size() < 3)
            return false;
        status.code = record.field(2);
        status.message = record.field(3);
        return true;
    }
    for (size_t i = 2; i < record.fields.size(); ++i) {
        const std::string& pair = record.fields[i];
        const size_t equals = pair.find('=');
        if (equals != std::string::npos)
            status.figures[pair.substr(0, equals)] = pair.substr(equals + 1);
    }
    return true;
}

bool readFramedReply(std::string_view body, FramedReply& reply)
{
    std::vector<Record> records = splitRecords(body);
    if (records.empty() || !readStatus(records.front(), reply.status))
        return false;
    records.erase(records.begin());
    reply.records = std::move(records);
    return true;
}
