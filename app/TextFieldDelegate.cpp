#include "TextFieldDelegate.h"

#include <QLineEdit>

namespace {
const QString ConnectorName = QStringLiteral("textFieldDelegateConnector");
}

void TextFieldDelegate::setDelegate(QLineEdit *field, TextFieldDelegate *delegate)
{
    if (!field)
        return;
    // The connection lives in a child of the field, so replacing it or destroying the field
    // ends it.
    delete field->findChild<QObject *>(ConnectorName, Qt::FindDirectChildrenOnly);
    if (!delegate)
        return;
    auto *connector = new QObject(field);
    connector->setObjectName(ConnectorName);
    // textEdited, not textChanged: only the user's edits count.
    QObject::connect(field, &QLineEdit::textEdited, connector, [field, delegate] {
        delegate->controlTextDidChange(TextChangeNotification{field});
    });
}
