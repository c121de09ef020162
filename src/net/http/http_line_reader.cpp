#include "net/http/http_line_reader.h"

namespace {

std::string_view TrimLineEnd(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  return line;
}

}  // namespace

HttpLineReader::Status HttpLineReader::Next(std::string_view* line) {
  long_line_.clear();
  for (;;) {
    if (left_ == 0) return Status::kOverBudget;
    std::string_view piece;
    switch (connection_.ReadLine(&piece, left_)) {
      case CHttpConnection::LineStatus::kLine:
        break;
      case CHttpConnection::LineStatus::kClosed:
        return Status::kClosed;
      case CHttpConnection::LineStatus::kFailed:
        return Status::kFailed;
    }
    left_ -= piece.size();
    const bool complete = piece.back() == '\n';
    if (complete && long_line_.empty()) {
      *line = TrimLineEnd(piece);
      return Status::kLine;
    }
    long_line_.append(piece);
    if (complete) {
      *line = TrimLineEnd(long_line_);
      return Status::kLine;
    }
  }
}
