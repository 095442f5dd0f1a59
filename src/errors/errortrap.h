#pragma once

#include <QString>
#include <new>
#include <optional>
#include <type_traits>
#include <utility>

#include "errors/failure.h"
#include "errors/messagebox.h"

namespace tarnwell {

// The text of the ErrorReport box: what failed, where, and whom to tell.
QString errorReportText(const QString& description, const QString& object, const QString& procedure,
                        int line);

inline const QString kErrorReportTitle = QStringLiteral("Application Error");
inline const QString kSupportAddress = QStringLiteral("support@example.com");

// A handler's error trap. The handler runs its numbered statements through it;
// a statement that fails is reported once with the ErrorReport box and the
// handler goes on with its next statement. Statements that need the result of
// a failed one are skipped quietly (value() gives them nothing to work on), so
// one failure is one box, not a cascade.
class ErrorTrap {
public:
    ErrorTrap(MessageBoxes& dialogs, QString object, QString procedure)
        : dialogs_(dialogs), object_(std::move(object)), procedure_(std::move(procedure)) {}

    // Runs statement `line`; false when it failed (and was reported).
    template <typename F>
    bool run(int line, F&& statement) {
        return guarded(line,
                       [&] {
                           std::forward<F>(statement)();
                           return true;
                       })
            .value_or(false);
    }

    // Runs a statement that produces a value; nothing when it failed.
    template <typename F>
    auto value(int line, F&& statement) -> std::optional<std::invoke_result_t<F>> {
        return guarded(line, std::forward<F>(statement));
    }

    // A test: a test that fails is reported and counts as held, so the
    // statements it guards run next.
    template <typename F>
    bool test(int line, F&& condition) {
        return guarded(line, [&] { return bool(std::forward<F>(condition)()); }).value_or(true);
    }

    // Reports a failure found without an exception (e.g. a short write).
    void report(int line, const QString& description);

    int reportCount() const { return reports_; }

private:
    template <typename F>
    auto guarded(int line, F&& statement) -> std::optional<std::invoke_result_t<F>> {
        try {
            return std::forward<F>(statement)();
        } catch (const Failure& failure) {
            report(line, failure.description());
        } catch (const std::bad_alloc&) {
            report(line, QStringLiteral("Out of memory"));
        } catch (const std::exception& e) {
            report(line, QString::fromLocal8Bit(e.what()));
        }
        return std::nullopt;
    }

    MessageBoxes& dialogs_;
    QString object_;
    QString procedure_;
    int reports_ = 0;
};

}  // namespace tarnwell
