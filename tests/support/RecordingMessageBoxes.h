#pragma once

#include "MessageBoxes.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

// Records every box instead of showing it. Answers OK unless told otherwise.
class RecordingMessageBoxes : public MessageBoxes {
public:
    struct Box {
        QString text;
        QString title;
        Buttons buttons;
    };

    Answer show(const QString &text, const QString &title, Buttons buttons = Buttons::Ok) override
    {
        boxes.append({text, title, buttons});
        if (onShow)
            onShow(boxes.last());
        if (!answers.isEmpty())
            return answers.takeFirst();
        return Answer::Ok;
    }

    QStringList titles() const
    {
        QStringList out;
        for (const Box &box : boxes)
            out << box.title;
        return out;
    }

    QList<Box> boxes;
    // Answers given in turn; OK once they run out.
    QList<Answer> answers;
    // Called while the box is "shown", e.g. to act as the user would meanwhile.
    std::function<void(const Box &)> onShow;
};
