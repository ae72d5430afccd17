// quillet-sql: turning lines of input into statements and backslash commands.
#pragma once

#include <string>
#include <vector>

namespace quilletsql {

// Collects lines until they make whole statements. A statement ends at a semicolon
// outside quotes ('...', "...", `...`, [...]) and outside comments (-- to the end of the
// line); a line that starts with a backslash while no statement is pending is a command
// of its own, ended by the line's end.
class StatementSplitter {
public:
    // Adds one line (without its line break) and returns what it completed, in order:
    // statements without their semicolon, commands with their backslash. Blank
    // statements (";;") are dropped.
    std::vector<std::string> Feed(const std::string& line);
    // True while a statement has begun but not ended (the prompt shows it).
    bool Pending() const;
    // What is left at the end of the input, as one last statement, or empty.
    std::string Finish();

private:
    std::string pending_;
    char quote_ = 0;  // the character that closes the open quote, or 0
};

}  // namespace quilletsql
