// The real file dialogs and error box, as the window shows them: each test
// lets the dialog come up, looks at it as the user would, and answers it.
#include "dialogs.h"
#include "Unit1.h"
#include "window/presentation.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

namespace {

// Runs `answer` on the next modal dialog once it shows.
void whenDialogShows(std::function<void(QDialog*)> answer)
{
    QTimer::singleShot(0, [answer] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            whenDialogShows(answer); // not up yet
            return;
        }
        answer(dialog);
    });
}

QString fileNameShown(QDialog* dialog) { return dialog->findChild<QLineEdit*>("fileNameEdit")->text(); }

}  // namespace

class TestDialogs : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;

private slots:
    void initTestCase() { qputenv("XDG_CONFIG_HOME", tmp.filePath("config").toLocal8Bit()); }

    void rememberedPathInAVanishedFolderStaysAbsolute()
    {
        brimlet::FileDialog dialog{"OpenDialog1", brimlet::FileDialog::Kind::Open, "GTA3 & VC dir or img file|*.dir;*.img", {}, {}};
        QString gone = tmp.filePath("gone/models/gta3.img");
        dialog.FileName = gone.toStdString();
        QString shown;
        whenDialogShows([&](QDialog* d) {
            shown = fileNameShown(d);
            d->accept();
        });
        QVERIFY(qtDialogs().executeFileDialog(dialog));
        QCOMPARE(shown, gone);
        QCOMPARE(QString::fromStdString(dialog.FileName), gone);
    }

    void anyFileFilterShowsFilesWithoutExtension()
    {
        brimlet::FileDialog dialog{"SaveDialog1", brimlet::FileDialog::Kind::Save, "any file|*.*", {}, {}};
        QStringList patterns;
        QString shown;
        whenDialogShows([&](QDialog* d) {
            shown = d->findChild<QComboBox*>("fileTypeCombo")->currentText();
            QString filter = static_cast<QFileDialog*>(d)->nameFilters().first();
            patterns = filter.mid(filter.indexOf('(') + 1).chopped(1).split(' ');
            d->reject();
        });
        QVERIFY(!qtDialogs().executeFileDialog(dialog));
        QVERIFY(QDir::match(patterns, "readme"));
        QVERIFY(QDir::match(patterns, "car.dff"));
        QCOMPARE(shown, QString("any file")); // the filter's text alone, as given
    }

    void bareNameOpensInTheFolderLastUsed()
    {
        QDir(tmp.path()).mkdir("exports");
        QString folder = tmp.filePath("exports");
        brimlet::FileDialog dialog{"SaveDialog1", brimlet::FileDialog::Kind::Save, "any file|*.*", {}, {}};
        dialog.FileName = tmp.filePath("first.dff").toStdString();
        whenDialogShows([&](QDialog* d) { // the user types a path in another folder
            d->findChild<QLineEdit*>("fileNameEdit")->setText(folder + "/car.dff");
            d->accept();
        });
        QVERIFY(qtDialogs().executeFileDialog(dialog));
        QCOMPARE(QString::fromStdString(dialog.FileName), folder + "/car.dff");

        dialog.FileName = "bus.dff"; // as Export presets it: the entry's name alone
        QString opened;
        whenDialogShows([&](QDialog* d) {
            opened = static_cast<QFileDialog*>(d)->directory().absolutePath();
            d->reject();
        });
        QVERIFY(!qtDialogs().executeFileDialog(dialog));
        QCOMPARE(opened, folder);
    }

    // Cancel stops a stoppable command at its next step; a command that
    // cannot be stopped says so, and closing its window changes nothing.
    void progressCancelsOnlyWhatCanBeStopped()
    {
        auto progressDialog = [] {
            for (QWidget* widget : QApplication::topLevelWidgets())
                if (auto* dialog = qobject_cast<QProgressDialog*>(widget)) return dialog;
            return static_cast<QProgressDialog*>(nullptr);
        };
        brimlet::Archive::ProgressStep step{1, 10, 0, 0};
        auto pastTheDelay = [] { QTest::qWait(brimlet::presentation::kShowProgressAfterMs + 50); };
        {
            auto progress = qtDialogs().showProgress("Exporting entries...", true);
            progress(step);
            QVERIFY(!progressDialog()); // not before the work has lasted a moment
            pastTheDelay();
            progress(step);
            QVERIFY(progressDialog());
            QPushButton* cancel = progressDialog()->findChild<QPushButton*>();
            QVERIFY(cancel);
            QTest::mouseClick(cancel, Qt::LeftButton); // a click through the input filter
            QVERIFY(progressDialog()->wasCanceled());
            bool stopped = false;
            try {
                progress(step);
            } catch (const brimlet::Stopped&) {
                stopped = true;
            }
            QVERIFY(stopped);
        }
        QVERIFY(!progressDialog()); // gone with the command
        {
            // Esc too: the dialog's own shortcut gets through the filter.
            auto progress = qtDialogs().showProgress("Exporting the entry...", true);
            pastTheDelay();
            progress(step);
            QProgressDialog* dialog = progressDialog();
            QVERIFY(dialog);
            dialog->show();
            dialog->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(dialog));
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : dialog, Qt::Key_Escape);
            QVERIFY(dialog->wasCanceled());
        }
        auto progress = qtDialogs().showProgress("Rebuilding the archive...", false);
        pastTheDelay();
        progress(step);
        QProgressDialog* dialog = progressDialog();
        QVERIFY(dialog->labelText().contains("cannot be stopped"));
        QVERIFY(!dialog->findChild<QPushButton*>());
        dialog->show();
        QVERIFY(!dialog->close()); // refused
        progress(step);            // and no exception
        QVERIFY(!dialog->wasCanceled());
    }

    void longMessageBoxFitsTheScreen()
    {
        QString path = "/" + QString(60, 'a') + "/" + QString(60, 'b') + "/" + QString(160, 'c') + ".dff";
        QRect screen = QApplication::primaryScreen()->availableGeometry();
        int width = 0;
        whenDialogShows([&](QDialog* d) {
            width = d->frameGeometry().width();
            d->accept();
        });
        qtDialogs().showError(("Cannot create file " + path).toStdString());
        QVERIFY(width > 0);
        QVERIFY2(width <= screen.width(), qPrintable(QString::number(width)));
    }

    // After the file dialogs above, the user's configuration holds the
    // program's three strings and no file of Qt's.
    void theDialogsLeaveNoSettingsOfTheirOwn()
    {
        brimlet::FileDialog dialog{"OpenDialog1", brimlet::FileDialog::Kind::Open, "any file|*.*", {}, {}};
        dialog.FileName = tmp.filePath("car.dff").toStdString();
        whenDialogShows([](QDialog* d) { d->accept(); });
        QVERIFY(qtDialogs().executeFileDialog(dialog));
        userSettingsFile()->setValue("find", "TXD");
        QDir config(tmp.filePath("config"));
        QCOMPARE(config.entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"HOX Development"});
        QCOMPARE(QDir(config.filePath("HOX Development")).entryList(QDir::Files), QStringList{"brimlet.conf"});
    }
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
