#pragma once

#include <QDialog>
#include <array>

class QCheckBox;

namespace fernhold {

struct JobSettings;

// The source page's chooser of a source's targets: nine check boxes with
// the texts of the settings window's target choosers. However it is
// closed, the ticks are the source's new targets.
class TargetChooser : public QDialog
{
    Q_OBJECT
public:
    // `targets` in the source list's stored form ("1,3").
    TargetChooser(const JobSettings& settings, const QString& targets, bool transparent,
                  QWidget* parent = nullptr);

    // The ticked targets in the stored form; "" when none is ticked.
    [[nodiscard]] QString targets() const;
    void setTargets(const QString& targets);
    [[nodiscard]] QCheckBox* box(int target) const;

    // Opens the chooser modal and waits until it is closed; gives the ticks.
    [[nodiscard]] static QString choose(const JobSettings& settings, const QString& targets,
                                        bool transparent, QWidget* parent = nullptr);

private:
    std::array<QCheckBox*, 9> m_boxes{}; // owned by the dialog
};

} // namespace fernhold
