#include "settings/IntervalValidation.h"

#include "platform/Prompt.h"
#include "settings/NumberRules.h"

using namespace Qt::StringLiterals;

IntervalClass classifyInterval(QStringView text)
{
    if (text.isEmpty())
        return IntervalClass::EmptyOrZero;
    double minutes = 0;
    if (!parseNumber(text, &minutes))
        return IntervalClass::Refused;
    if (minutes == 0)
        return IntervalClass::EmptyOrZero;
    if (minutes < 0 || minutes > 99)
        return IntervalClass::Refused;
    return IntervalClass::Accepted;
}

void txtMinutes_Change(IntervalView &view, Prompt &prompt)
{
    const QString caption = u"larkspur "_s;
    const QString defaultMinutes = u"15"_s;
    switch (classifyInterval(view.minutesText())) {
    case IntervalClass::EmptyOrZero:
        // The box shows "15" while the message is up: the nested change has run and saved.
        view.setMinutesText(defaultMinutes);
        prompt.message(caption, u"เวลาไม่สามารถเป็น ค่าว่าง และ 0 ได้ (มาตรฐาน : 15)"_s);
        break;
    case IntervalClass::Refused:
        prompt.message(caption, u"กรุณาพิมพ์ เฉพาะตัวเลขเท่านั้น (0-99)"_s);
        view.setMinutesText(defaultMinutes);
        break;
    case IntervalClass::Accepted:
        break;
    }
    view.SaveSettings();
}
