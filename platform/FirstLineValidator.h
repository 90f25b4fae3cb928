#pragma once

#include <QValidator>

class QLineEdit;

// Keeps a one-line field to one line, as the system's own edit fields do: of
// text pasted with line breaks only its first line goes in. A line break would
// otherwise reach an address, a user name or a path sent to a recorder, and
// the settings file, where it cannot be kept.
class FirstLineValidator : public QValidator
{
    Q_OBJECT
public:
    explicit FirstLineValidator(QObject *parent = nullptr);

    State validate(QString &input, int &pos) const override;

    // Installs a validator owned by the field.
    static void install(QLineEdit *edit);
};
