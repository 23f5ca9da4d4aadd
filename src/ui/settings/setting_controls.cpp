#include "ui/settings/setting_controls.h"

#include "commands/setting_edit.h"
#include "core/job_settings.h"
#include "core/settings_fields.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QToolButton>
#include <climits>

namespace fernhold {

namespace {

QString keyOf(const QWidget* control, const QString& key)
{
    return key.isEmpty() ? control->objectName() : key;
}

// Target keys carry the number of their target ("TargetDir2"); the table holds them bare.
QString bareKey(const QString& key)
{
    QString bare = key;
    while (!bare.isEmpty() && bare.back().isDigit()) {
        bare.chop(1);
    }
    return bare;
}

} // namespace

std::pair<int, int> SettingRange(const QString& key)
{
    const QString bare = bareKey(key);
    for (const auto& fields : {JobFieldsBeforeTargets(), JobFieldsAfterTargets()}) {
        for (const JobField& f : fields) {
            if (bare == QLatin1String(f.key) || key == QLatin1String(f.key)) {
                return {f.minimum, f.maximum};
            }
        }
    }
    for (const TargetField& f : TargetFields()) {
        if (bare == QLatin1String(f.key)) {
            return {f.minimum, f.maximum};
        }
    }
    return {INT_MIN, INT_MAX};
}

QSpinBox* SettingSpin(const QString& key, QWidget* parent)
{
    auto* spin = new QSpinBox(parent);
    spin->setObjectName(key);
    const auto [low, high] = SettingRange(key);
    spin->setRange(low, high);
    return spin;
}

QCheckBox* SettingCheck(const QString& key, const QString& text, QWidget* parent)
{
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(key);
    return box;
}

QLineEdit* SettingEdit(const QString& key, QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(key);
    return edit;
}

QComboBox* SettingCombo(const QString& key, const QStringList& items, QWidget* parent)
{
    auto* combo = new QComboBox(parent);
    combo->setObjectName(key);
    combo->addItems(items);
    return combo;
}

int StoreSetting(JobSettings& settings, const QString& key, const QString& text, const Clock& clock)
{
    return SetSettingFromText(settings, key, text, clock).ok ? 1 : 0;
}

QString SettingText(const JobSettings& settings, const QString& key)
{
    return SettingValue(settings, key).value_or(QString());
}

void ShowControl(const JobSettings& settings, QWidget* control, const QString& key)
{
    const QString value = SettingText(settings, keyOf(control, key));
    if (auto* spin = qobject_cast<QSpinBox*>(control)) {
        spin->setValue(value.toInt());
    } else if (auto* box = qobject_cast<QCheckBox*>(control)) {
        box->setChecked(value.toInt() != 0);
    } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        edit->setText(value);
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
        combo->setCurrentIndex(std::clamp(value.toInt(), 0, combo->count() - 1));
    }
}

void StoreControl(JobSettings& settings, QWidget* control, const Clock& clock, const QString& key)
{
    QString text;
    if (auto* spin = qobject_cast<QSpinBox*>(control)) {
        text = QString::number(spin->value());
    } else if (auto* box = qobject_cast<QCheckBox*>(control)) {
        text = box->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
    } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        text = edit->text();
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
        text = QString::number(combo->currentIndex());
    }
    (void)StoreSetting(settings, keyOf(control, key), text, clock);
}

QToolButton* HelpIcon(const QString& text, const std::function<void(const QString&)>& show,
                      QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setIcon(button->style()->standardIcon(QStyle::SP_MessageBoxQuestion));
    button->setAutoRaise(true);
    button->setToolTip(text);
    button->setAccessibleName(QStringLiteral("?"));
    QObject::connect(button, &QToolButton::clicked, button, [show, text] { show(text); });
    return button;
}

QPushButton* LinkText(const QString& text, const std::function<void()>& clicked, QWidget* parent)
{
    auto* link = new QPushButton(text, parent);
    link->setFlat(true);
    link->setCursor(Qt::PointingHandCursor);
    link->setStyleSheet(QStringLiteral("QPushButton { color: palette(link); text-decoration: "
                                       "underline; border: none; padding: 2px; text-align: left; }"
                                       "QPushButton:disabled { color: palette(mid); }"));
    QObject::connect(link, &QPushButton::clicked, link, [clicked] { clicked(); });
    return link;
}

QString WithMnemonic(const QString& text, QString& used)
{
    QString plain = text;
    plain.replace(u'&', QStringLiteral("&&"));
    for (qsizetype i = 0; i < plain.size(); ++i) {
        const QChar c = plain[i].toLower();
        if (c.isLetterOrNumber() && c.unicode() < 128 && !used.contains(c)) {
            used += c;
            return plain.left(i) + u'&' + plain.mid(i);
        }
    }
    return plain;
}

QLabel* Caption(const QString& text, QWidget* buddy, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

} // namespace fernhold
