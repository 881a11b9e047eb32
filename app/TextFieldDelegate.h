#pragma once

class QLineEdit;
class QObject;

// What a text field tells its delegate after the user changed its text.
struct TextChangeNotification
{
    QObject *object = nullptr; // the field
};

// Receives a field's text changes made by the user: each keystroke, paste or deletion, and never
// the text the program sets.
class TextFieldDelegate
{
public:
    virtual ~TextFieldDelegate() = default;
    virtual void controlTextDidChange(const TextChangeNotification &notification) = 0;

    // Makes `delegate` the receiver of `field`'s user edits. A field has one delegate at most;
    // null stops the reports. An absent field is skipped.
    static void setDelegate(QLineEdit *field, TextFieldDelegate *delegate);
};
