#pragma once

#include <QString>
#include <stdexcept>

// An error that ends the current operation and reaches the application's
// default error box. Its message is what the operator reads.
class AppError : public std::runtime_error
{
public:
    explicit AppError(const QString &message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
    QString message() const { return m_message; }

private:
    QString m_message;
};

// A text that does not convert to a number.
class ConversionError : public AppError
{
public:
    using AppError::AppError;
};

// A local file that cannot be created, opened, read or written.
class IoError : public AppError
{
public:
    using AppError::AppError;
};
