#pragma once

#include <QString>
#include <exception>

namespace tarnwell {

// A platform operation that did not succeed, worded as the platform words it
// ("Permission denied", "Index out of bounds"). Statements throw it; the error
// trap of the handler that ran them turns it into one ErrorReport box.
class Failure : public std::exception {
public:
    explicit Failure(QString description) : description_(std::move(description)) {}

    // The errno of a failed system call, in the system's own words.
    static Failure fromErrno(int error);

    const QString& description() const { return description_; }
    const char* what() const noexcept override { return "tarnwell::Failure"; }

private:
    QString description_;
};

}  // namespace tarnwell
