// quillet-sql: splitting input into statements.
#include "quillet-sql-input.h"

#include <cctype>

namespace quilletsql {

namespace {

bool IsBlank(const std::string& text) {
    for (unsigned char c : text)
        if (!std::isspace(c)) return false;
    return true;
}

std::string Trimmed(const std::string& text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    return text.substr(begin, end - begin);
}

}  // namespace

std::vector<std::string> StatementSplitter::Feed(const std::string& line) {
    std::vector<std::string> complete;
    if (quote_ == 0 && IsBlank(pending_)) {
        std::string command = Trimmed(line);
        if (!command.empty() && command[0] == '\\') {
            pending_.clear();
            complete.push_back(command);
            return complete;
        }
    }
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quote_ != 0) {
            pending_ += c;
            if (c == quote_) quote_ = 0;  // a doubled quote closes and reopens: same result
            continue;
        }
        if (c == '-' && i + 1 < line.size() && line[i + 1] == '-') break;  // comment to the line's end
        if (c == ';') {
            if (!IsBlank(pending_)) complete.push_back(Trimmed(pending_));
            pending_.clear();
            continue;
        }
        if (c == '\'' || c == '"' || c == '`') quote_ = c;
        else if (c == '[') quote_ = ']';
        pending_ += c;
    }
    if (!pending_.empty()) pending_ += '\n';
    return complete;
}

bool StatementSplitter::Pending() const { return quote_ != 0 || !IsBlank(pending_); }

std::string StatementSplitter::Finish() {
    std::string last = IsBlank(pending_) ? std::string() : Trimmed(pending_);
    pending_.clear();
    quote_ = 0;
    return last;
}

}  // namespace quilletsql
