// One prepared SQLite statement, finalized with its scope.
//
//   Statement select(db, "SELECT payload FROM events WHERE event_id = ?1");
//   select.bind(1, id);
//   while (sqlite3_step(select.get()) == SQLITE_ROW) use(select.text(0));
#pragma once

#include <sqlite3.h>

#include <optional>
#include <string>

namespace tilo::devserver {

class Statement {
 public:
  Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr); }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  sqlite3_stmt* get() const { return stmt_; }

  void bind(int index, const std::optional<std::string>& text) {
    if (text) {
      sqlite3_bind_text(stmt_, index, text->data(), static_cast<int>(text->size()),
                        SQLITE_TRANSIENT);
    } else {
      sqlite3_bind_null(stmt_, index);
    }
  }
  std::optional<std::string> text(int column) const {
    const auto* data = sqlite3_column_text(stmt_, column);
    if (data == nullptr) return std::nullopt;
    return std::string(reinterpret_cast<const char*>(data), sqlite3_column_bytes(stmt_, column));
  }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

}  // namespace tilo::devserver
