// Copying the view's values into the Qt controls.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>

#include "app/frm_main.h"

namespace {

using rotorix::view::Kind;

QString qt(const std::u16string& text) {
    return QString::fromStdU16String(text);
}

// Fills a list with `texts` unless it already holds exactly them.
void keepItems(QComboBox* list, const std::vector<std::u16string>& texts) {
    bool same = list->count() == static_cast<int>(texts.size());
    for (int i = 0; same && i < list->count(); ++i) {
        same = list->itemText(i) == qt(texts[static_cast<std::size_t>(i)]);
    }
    if (!same) {
        list->clear();
        for (const std::u16string& text : texts) {
            list->addItem(qt(text));
        }
    }
}

// 0 unchecked, 1 checked, 2 greyed; Qt makes the box tri-state for the greyed state only.
void setCheck(QCheckBox* box, int check) {
    if (check == 2) {
        box->setCheckState(Qt::PartiallyChecked);
    } else {
        box->setTristate(false);
        box->setCheckState(check == 1 ? Qt::Checked : Qt::Unchecked);
    }
}

}  // namespace

void frmMain::showView(const rotorix::view::ViewState& view) {
    for (const rotorix::view::ControlSpec& s : rotorix::view::layout()) {
        const rotorix::view::ControlView& shown = view[s.id];
        QWidget* widget = control(s.id);
        if (s.kind == Kind::List) {
            keepItems(list(s.id), shown.items);
            list(s.id)->setCurrentIndex(shown.selected);
        } else if (s.kind == Kind::CheckBox) {
            setCheck(noJoy(), shown.check);
        } else if (s.kind == Kind::ValueLabel || s.kind == Kind::Notice) {
            auto* label = static_cast<QLabel*>(widget);
            label->setText(qt(shown.text));
            // With text, the label is read out by its text; without, by what it lacks.
            label->setAccessibleName(qt(shown.accessible_name));
        }
        widget->setEnabled(shown.enabled);
        widget->setVisible(shown.visible);
    }
}

QString frmMain::boardNotice() const {
    const auto* notice = control<QLabel>(rotorix::view::Control::boardNotice);
    return notice->isVisibleTo(this) ? notice->text() : QString();
}
