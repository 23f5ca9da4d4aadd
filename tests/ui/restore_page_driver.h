#pragma once

// Drives the restore page as a person does: waits for its listings, reads
// its rows, clicks them and answers the folder picker.

#include "engine/target_layout.h"
#include "restore/backup_browser.h"
#include "ui/settings/restore_page.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest/QTest>
#include <gtest/gtest.h>

namespace fernhold::test {

inline QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Waits until no listing or restore runs; false when one still runs.
inline bool WaitIdle(RestorePage& page, int limitMs = 30000)
{
    return QTest::qWaitFor([&page] { return !page.working(); }, limitMs);
}

// The names the list shows, top to bottom.
inline QStringList ShownNames(const RestorePage& page)
{
    QStringList shown;
    for (int i = 0; i < page.list()->topLevelItemCount(); ++i) {
        shown << page.list()->topLevelItem(i)->text(0);
    }
    return shown;
}

inline void ClickRow(RestorePage& page, int row, bool twice = false)
{
    QTreeWidget* list = page.list();
    const QRect place = list->visualItemRect(list->topLevelItem(row));
    if (twice) {
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, place.center());
    } else {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, place.center());
    }
}

// Opens the mirror of `sourceFolder` one folder row at a time.
inline void WalkToSource(RestorePage& page, const QString& sourceFolder)
{
    for (const QString& part : MirrorText(sourceFolder).split(u'/', Qt::SkipEmptyParts)) {
        const int row = ShownNames(page).indexOf(part);
        ASSERT_GE(row, 0) << part.toStdString() << " in "
                          << ShownNames(page).join(u' ').toStdString();
        ClickRow(page, row);
        ASSERT_TRUE(WaitIdle(page));
    }
    ASSERT_EQ(page.browser().currentFolder(), MirrorText(sourceFolder));
}

// While it lives, every folder picker that opens is answered with `folder`.
class FolderPickerAnswer
{
public:
    explicit FolderPickerAnswer(const QString& folder)
    {
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, [folder] {
            for (QWidget* top : QApplication::topLevelWidgets()) {
                auto* dialog = qobject_cast<QFileDialog*>(top);
                if (dialog && dialog->isVisible()) {
                    dialog->setDirectory(folder);
                    static_cast<QDialog*>(dialog)->done(QDialog::Accepted);
                }
            }
        });
        m_timer.start();
    }

private:
    QTimer m_timer;
};

} // namespace fernhold::test
