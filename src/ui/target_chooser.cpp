#include "ui/target_chooser.h"

#include "core/job_settings.h"
#include "core/target_choice.h"
#include "core/text_table.h"

#include <QCheckBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace fernhold {

namespace {

constexpr double kChooserOpacity = 240 / 255.0;

} // namespace

TargetChooser::TargetChooser(const JobSettings& settings, const QString& targets, bool transparent,
                             QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("targetChooser"));
    setWindowTitle(Text("GAD00178"));
    setModal(true);
    if (transparent) {
        setWindowOpacity(kChooserOpacity);
    }
    auto* layout = new QVBoxLayout(this);
    for (int t = 1; t <= kTargetCount; ++t) {
        auto* box = new QCheckBox(TargetChooserItem(settings, t), this);
        box->setObjectName(QStringLiteral("target%1").arg(t));
        m_boxes.at(static_cast<std::size_t>(t - 1)) = box;
        layout->addWidget(box);
    }
    auto* close = new QPushButton(Text("GAD00034"), this);
    close->setObjectName(QStringLiteral("close"));
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(close, 0, Qt::AlignRight);
    setTargets(targets);
}

QString TargetChooser::targets() const
{
    QList<int> ticked;
    for (int t = 1; t <= kTargetCount; ++t) {
        if (box(t)->isChecked()) {
            ticked << t;
        }
    }
    return JoinTargets(ticked);
}

void TargetChooser::setTargets(const QString& targets)
{
    const QList<int> ticked = SplitTargets(targets);
    for (int t = 1; t <= kTargetCount; ++t) {
        box(t)->setChecked(ticked.contains(t));
    }
}

QCheckBox* TargetChooser::box(int target) const
{
    return m_boxes.at(static_cast<std::size_t>(target - 1));
}

QString TargetChooser::choose(const JobSettings& settings, const QString& targets, bool transparent,
                              QWidget* parent)
{
    TargetChooser chooser(settings, targets, transparent, parent);
    (void)chooser.exec();
    return chooser.targets();
}

} // namespace fernhold
