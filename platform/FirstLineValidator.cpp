#include "platform/FirstLineValidator.h"

#include <QLineEdit>

namespace {

qsizetype firstLineBreak(const QString &text, qsizetype from = 0)
{
    for (qsizetype i = from; i < text.size(); ++i) {
        if (text[i] == u'\r' || text[i] == u'\n')
            return i;
    }
    return -1;
}

} // namespace

FirstLineValidator::FirstLineValidator(QObject *parent)
    : QValidator(parent)
{
}

QValidator::State FirstLineValidator::validate(QString &input, int &pos) const
{
    const qsizetype cut = firstLineBreak(input);
    if (cut < 0)
        return Acceptable;
    // The field held no line break before, so the first one came with the text
    // just inserted, which ends at the cursor: from the break to the cursor
    // goes, and what stood after the cursor stays (up to a break of its own,
    // which only text set as a whole can bring).
    const qsizetype restFrom = qMax<qsizetype>(pos, cut);
    const qsizetype restBreak = firstLineBreak(input, restFrom);
    const qsizetype restEnd = restBreak < 0 ? input.size() : restBreak;
    input = input.left(cut) + input.mid(restFrom, restEnd - restFrom);
    pos = int(cut);
    return Acceptable;
}

void FirstLineValidator::install(QLineEdit *edit)
{
    edit->setValidator(new FirstLineValidator(edit));
}
