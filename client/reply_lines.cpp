#include "reply_lines.h"

ReplyLines::ReplyLines(std::string text) : text_(std::move(text))
{
    for (size_t pos = text_.find('\n'); pos != std::string::npos; pos = text_.find('\n', pos + 1))
        ends_.push_back(pos);
    ends_.shrink_to_fit();
}

std::string_view ReplyLines::operator[](size_t i) const
{
    const size_t begin = i == 0 ? 0 : ends_[i - 1] + 1;
    return std::string_view(text_).substr(begin, ends_[i] - begin);
}
