// Where the view layer reports what it refused or repaired: an unsatisfiable constraint
// it dropped, a constraint between unrelated views, a refused presentation, bad values.
// These are the platform's own console messages; they never go to the SDK's log.
//
//   UIDiagnostics::setHandler([](const UIDiagnostic& d) { std::cerr << d.message << "\n"; });
//   ...
//   for (const auto& d : UIDiagnostics::recorded()) { ... }   // the last 256, oldest first
//
// Without a handler the reports are only recorded. Reports arrive on the main thread;
// the handler runs inside the call that caused it and must not change the view tree.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace tilo::platform {

struct UIDiagnostic {
  enum class Kind {
    unsatisfiableConstraints,  // a required constraint conflicted and was dropped
    noCommonAncestor,          // a constraint between views of different hierarchies was refused
    invalidValue,              // a NaN or infinite number, a bad priority: ignored
    textTooLong,               // a label text beyond the limit was cut
    presentation,              // a presentation or dismissal was refused
    layout,                    // layout did not settle within its pass limit
    limitExceeded,             // a tree too deep to build, or too large to lay out: refused
  };

  Kind kind;
  std::string message;
  // For constraint reports: the descriptions of the constraints involved; the dropped
  // one comes last.
  std::vector<std::string> constraints;
};

class UIDiagnostics {
 public:
  using Handler = std::function<void(const UIDiagnostic&)>;

  // Replaces the handler (an empty function removes it).
  static void setHandler(Handler handler);
  static void report(UIDiagnostic diagnostic);
  static std::vector<UIDiagnostic> recorded();
  static void clearRecorded();

  static constexpr std::size_t recordLimit = 256;
};

}  // namespace tilo::platform
