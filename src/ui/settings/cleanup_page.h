#pragma once

#include "ui/settings/settings_page.h"

#include <atomic>
#include <memory>

class QComboBox;
class QLabel;
class QPushButton;
class QTimer;

namespace fernhold {

class ManualCleanupJob;

// Page 4: the manual clean-up of the current target by age or by size. The
// clean-up runs on the worker slot; the page shows its progress and can stop it.
class CleanupPage : public SettingsPage
{
    Q_OBJECT
public:
    explicit CleanupPage(SettingsContext& context, QWidget* parent = nullptr);
    ~CleanupPage() override;

    void fill(const JobSettings& settings) override;
    void read(JobSettings& settings) override;
    void entered() override;
    void showTarget(const JobSettings& settings) override;
    void closing() override;

    [[nodiscard]] QComboBox* chooser() const { return m_chooser; }
    [[nodiscard]] QPushButton* byAgeButton() const { return m_byAge; }
    [[nodiscard]] QPushButton* bySizeButton() const { return m_bySize; }
    [[nodiscard]] QPushButton* stopButton() const { return m_stop; }
    [[nodiscard]] QLabel* statusText() const { return m_status; }
    [[nodiscard]] QLabel* runningNotice() const { return m_running; }
    [[nodiscard]] bool cleaning() const { return m_job != nullptr; }

private:
    void start(int mode);
    void poll();
    void showRunning(bool running);

    QList<QWidget*> m_bound; // controls named after their key
    QComboBox* m_chooser = nullptr;
    QPushButton* m_byAge = nullptr;
    QPushButton* m_bySize = nullptr;
    QPushButton* m_stop = nullptr;
    QLabel* m_status = nullptr;
    QLabel* m_running = nullptr;
    QTimer* m_poll = nullptr;
    std::shared_ptr<ManualCleanupJob> m_job;
    std::shared_ptr<std::atomic<bool>> m_ended;
    bool m_started = false;
};

} // namespace fernhold
