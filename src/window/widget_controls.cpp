#include "window/widget_controls.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "window/path_field.h"

namespace ov {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

QWidget* WidgetControls::Widget(int id) const {
    const auto it = widgets_.find(id);
    return it == widgets_.end() ? nullptr : it->second;
}

std::string WidgetControls::Text(int id) const {
    QWidget* w = Widget(id);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) return edit->text().toStdString();
    if (auto* path = dynamic_cast<PathField*>(w)) return path->Path().toStdString();
    if (auto* button = qobject_cast<QAbstractButton*>(w)) return button->text().toStdString();
    if (auto* combo = qobject_cast<QComboBox*>(w)) return combo->currentText().toStdString();
    if (auto* log = qobject_cast<QPlainTextEdit*>(w)) return log->toPlainText().toStdString();
    if (auto* group = qobject_cast<QGroupBox*>(w)) return group->title().toStdString();
    if (auto* label = qobject_cast<QLabel*>(w)) return label->text().toStdString();
    return {};
}

void WidgetControls::SetText(int id, const std::string& text) {
    QWidget* w = Widget(id);
    if (auto* edit = qobject_cast<QLineEdit*>(w))
        edit->setText(Q(text));
    else if (auto* path = dynamic_cast<PathField*>(w))
        path->SetPath(Q(text));
    else if (auto* button = qobject_cast<QAbstractButton*>(w))
        button->setText(Q(text));
    else if (auto* combo = qobject_cast<QComboBox*>(w); combo && combo->isEditable())
        combo->setEditText(Q(text));
    else if (auto* log = qobject_cast<QPlainTextEdit*>(w))
        log->setPlainText(Q(text));
}

bool WidgetControls::Checked(int id) const {
    auto* button = qobject_cast<QAbstractButton*>(Widget(id));
    return button != nullptr && button->isChecked();
}

void WidgetControls::SetChecked(int id, bool checked) {
    if (auto* button = qobject_cast<QAbstractButton*>(Widget(id))) button->setChecked(checked);
}

std::vector<std::string> WidgetControls::Items(int id) const {
    std::vector<std::string> items;
    if (auto* combo = qobject_cast<QComboBox*>(Widget(id)))
        for (int i = 0; i < combo->count(); ++i) items.push_back(combo->itemText(i).toStdString());
    return items;
}

void WidgetControls::SetItems(int id, const std::vector<std::string>& items) {
    auto* combo = qobject_cast<QComboBox*>(Widget(id));
    if (combo == nullptr) return;
    combo->clear();
    for (const std::string& item : items) combo->addItem(Q(item));
    combo->setCurrentIndex(-1);
}

int WidgetControls::Selection(int id) const {
    auto* combo = qobject_cast<QComboBox*>(Widget(id));
    return combo == nullptr ? -1 : combo->currentIndex();
}

void WidgetControls::Select(int id, int index) {
    if (auto* combo = qobject_cast<QComboBox*>(Widget(id))) combo->setCurrentIndex(index);
}

bool WidgetControls::Enabled(int id) const {
    QWidget* w = Widget(id);
    return w != nullptr && w->isEnabled();
}

void WidgetControls::SetEnabled(int id, bool enabled) {
    if (QWidget* w = Widget(id)) w->setEnabled(enabled);
}

}  // namespace ov
