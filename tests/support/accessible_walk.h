#pragma once

// A window's accessible tree as Qt gives it to assistive technologies.
#include <QAccessible>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

namespace hb::test {

// Visits the accessible elements below `root` in tree order (the root included).
inline void walkAccessible(QAccessibleInterface* root, const std::function<void(QAccessibleInterface&)>& visit,
                           int depth = 0)
{
    if (!root || depth > 40)
        return;
    visit(*root);
    for (int i = 0; i < root->childCount(); ++i)
        walkAccessible(root->child(i), visit, depth + 1);
}

// The shown controls of `window` without an accessible name: role and what
// else is known of them. A control takes the focus, or is pressed or toggled.
inline std::vector<std::string> unnamedControls(QWidget& window)
{
    std::vector<std::string> unnamed;
    walkAccessible(QAccessible::queryAccessibleInterface(&window), [&](QAccessibleInterface& element) {
        const QAccessibleActionInterface* actions = element.actionInterface();
        const QStringList names = actions ? actions->actionNames() : QStringList();
        const bool control = element.state().focusable || names.contains(QAccessibleActionInterface::pressAction())
                             || names.contains(QAccessibleActionInterface::toggleAction());
        if (element.state().invisible || !control || !element.text(QAccessible::Name).trimmed().isEmpty())
            return;
        QString what = QString::number(element.role(), 16);
        if (QObject* object = element.object())
            what += QStringLiteral(" ") + QString::fromLatin1(object->metaObject()->className()) + QStringLiteral(" ")
                    + object->objectName() + QStringLiteral(" ") + element.text(QAccessible::Value);
        unnamed.push_back(what.toStdString());
    });
    return unnamed;
}

} // namespace hb::test
