// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "window_layout.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QLabel>
#include <QTextDocument>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace vrdtest {

namespace {

QString pathOf(const QWidget* widget, const QWidget* window)
{
    QStringList names;
    for (const QWidget* w = widget; w && w != window; w = w->parentWidget())
        names.prepend(w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName());
    return names.join(QLatin1Char('/'));
}

QList<QWidget*> shownChildren(const QWidget* parent)
{
    QList<QWidget*> shown;
    for (QObject* child : parent->children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (widget && !widget->isWindow() && widget->isVisible() && !widget->geometry().isEmpty())
            shown.append(widget);
    }
    return shown;
}

// The width the label's text takes on one line, as the label draws it.
int textWidth(const QLabel* label)
{
    const bool rich = label->textFormat() == Qt::RichText ||
                      (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text()));
    if (!rich) {
        int widest = 0;
        for (const QString& line : label->text().split(QLatin1Char('\n')))
            widest = std::max(widest, label->fontMetrics().horizontalAdvance(line));
        return widest;
    }
    QTextDocument document;
    document.setDefaultFont(label->font());
    document.setDocumentMargin(0);
    document.setHtml(label->text());
    return int(std::ceil(document.idealWidth()));
}

void checkLabel(const QLabel* label, const QWidget* window, QStringList& faults)
{
    if (label->text().isEmpty())
        return;
    if (label->wordWrap()) {
        const int needed = label->heightForWidth(label->width());
        if (needed > label->height())
            faults << QStringLiteral("text does not fit: %1 is %2 px high, its wrapped text needs %3")
                          .arg(pathOf(label, window))
                          .arg(label->height())
                          .arg(needed);
        return;
    }
    const int room = label->contentsRect().width() - 2 * label->margin() - std::max(0, label->indent());
    const int needed = textWidth(label);
    if (needed > room)
        faults << QStringLiteral("text does not fit: %1 is %2 px wide, its text needs %3")
                      .arg(pathOf(label, window))
                      .arg(room)
                      .arg(needed);
}

void checkTree(const QWidget* parent, const QWidget* window, QStringList& faults)
{
    const QList<QWidget*> children = shownChildren(parent);
    for (int i = 0; i < children.size(); ++i)
        for (int j = i + 1; j < children.size(); ++j)
            if (children[i]->geometry().intersects(children[j]->geometry()))
                faults << QStringLiteral("overlap: %1 and %2")
                              .arg(pathOf(children[i], window), pathOf(children[j], window));
    for (const QWidget* child : children) {
        if (const auto* label = qobject_cast<const QLabel*>(child))
            checkLabel(label, window, faults);
        checkTree(child, window, faults);
    }
}

} // namespace

QStringList layoutFaults(QWidget& window, const QSize& asked)
{
    // Layouts settle over a few rounds of posted events (a label's new text, a resize).
    for (int round = 0; round < 5; ++round)
        QApplication::processEvents();
    QStringList faults;
    if (asked.isValid() && window.size() != asked)
        faults << QStringLiteral("window: asked for %1x%2, took %3x%4 (its contents need more)")
                      .arg(asked.width())
                      .arg(asked.height())
                      .arg(window.width())
                      .arg(window.height());
    checkTree(&window, &window, faults);
    return faults;
}

} // namespace vrdtest
