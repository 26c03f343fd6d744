// THOX_edit and THOX_dragdrop, driven with real key, focus and drop events.
#include "HOX_dragdrop.h"
#include "HOX_edit.h"

#include <QDir>
#include <QVBoxLayout>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include "tests/drop_events.h"
#include <QUrl>

class TestControls : public QObject {
    Q_OBJECT

    // A shown window holding one edit and another focusable field.
    struct Form {
        QWidget window;
        THOX_edit* edit;
        QLineEdit* other;
        Form()
        {
            edit = new THOX_edit(&window);
            edit->setGeometry(0, 0, 120, 19);
            other = new QLineEdit(&window);
            other->setGeometry(0, 30, 120, 19);
            window.show();
            QApplication::setActiveWindow(&window);
            edit->setFocus();
        }
    };

    static QString touch(const QString& path)
    {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        return path;
    }


private slots:
    void digitsOnlyFiltersTypedCharactersAfterOnKeypress()
    {
        Form f;
        f.edit->setNumbersonly(true);
        QString seen;
        f.edit->OnKeypress = [&](QObject*, QChar& key) { seen += key; };
        QTest::keyClicks(f.edit, "a1-2b-3.");
        QCOMPARE(f.edit->text(), QString("1-2-3"));
        QCOMPARE(seen, QString("a1-2b-3."));
        QTest::keyClick(f.edit, Qt::Key_A, Qt::ControlModifier); // a control character
        QCOMPARE(f.edit->text(), QString("1-2-3"));
        f.edit->setText("x y"); // set by the program: not filtered
        QCOMPARE(f.edit->text(), QString("x y"));
    }

    void onKeypressMayChangeTheCharacter()
    {
        Form f;
        f.edit->OnKeypress = [](QObject*, QChar& key) { key = key.toUpper(); };
        QTest::keyClicks(f.edit, "ab");
        QCOMPARE(f.edit->text(), QString("AB"));
    }

    void emptyDigitsOnlyFieldBecomesZeroOnKeyRelease()
    {
        Form f;
        f.edit->setNumbersonly(true);
        QStringList order;
        f.edit->OnChange = [&](QObject*) { order << "change:" + f.edit->text(); };
        f.edit->OnKeyUp = [&](QObject*, int&, Qt::KeyboardModifiers) { order << "up"; };
        QTest::keyClicks(f.edit, "7");
        order.clear();
        QTest::keyClick(f.edit, Qt::Key_Backspace);
        QCOMPARE(order, (QStringList{"change:", "change:0", "up"}));
        QCOMPARE(f.edit->text(), QString("0"));
        QCOMPARE(f.edit->selectedText(), QString("0"));
        QTest::keyClicks(f.edit, "5"); // replaces the selected "0"
        QCOMPARE(f.edit->text(), QString("5"));

        f.edit->setText("");
        QCOMPARE(f.edit->text(), QString(""));
        QTest::keyClick(f.edit, Qt::Key_Shift);
        QCOMPARE(f.edit->text(), QString("0"));

        // A failure while putting "0" in is swallowed; the key-up still comes.
        f.edit->setText("");
        order.clear();
        f.edit->OnChange = [&](QObject*) { throw std::runtime_error("boom"); };
        QTest::keyClick(f.edit, Qt::Key_Left);
        QCOMPARE(order, QStringList{"up"});
        QCOMPARE(f.edit->text(), QString("0"));
        // Elsewhere it stops in the field too, with a warning, never inside Qt.
        QTest::ignoreMessage(QtWarningMsg, ": change handler failed: boom");
        f.edit->setText("12");
        QCOMPARE(f.edit->text(), QString("12"));
    }

    // Delete as X11 delivers it: with the text 0x7F.
    static void pressDelete(QWidget* widget) { QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_Delete, QString("\x7f"), {}); }

    void digitsOnlyDeleteKeyDeletes()
    {
        Form f;
        f.edit->setNumbersonly(true);
        QTest::keyClicks(f.edit, "75");
        QTest::keyClick(f.edit, Qt::Key_Home);
        pressDelete(f.edit);
        QCOMPARE(f.edit->text(), QString("5"));
        pressDelete(f.edit); // the last character: "0", all selected, once the key is up
        QCOMPARE(f.edit->text(), QString("0"));
        QCOMPARE(f.edit->selectedText(), QString("0"));
    }

    void keyDownHandlerCanTakeOrChangeTheKey()
    {
        Form f;
        f.edit->OnKeydown = [](QObject*, int& key, Qt::KeyboardModifiers) {
            if (key == Qt::Key_Delete) key = 0;
            if (key == Qt::Key_Home) key = Qt::Key_End;
        };
        QTest::keyClicks(f.edit, "ab");
        f.edit->setCursorPosition(0);
        pressDelete(f.edit);
        QCOMPARE(f.edit->text(), QString("ab"));
        QTest::keyClick(f.edit, Qt::Key_Home);
        QCOMPARE(f.edit->cursorPosition(), 2);
    }

    void withoutDigitsOnlyNothingIsAdded()
    {
        Form f;
        QTest::keyClicks(f.edit, "ab1");
        QTest::keyClick(f.edit, Qt::Key_Backspace);
        QTest::keyClick(f.edit, Qt::Key_Backspace);
        QTest::keyClick(f.edit, Qt::Key_Backspace);
        QCOMPARE(f.edit->text(), QString(""));
        QVERIFY(!f.edit->OnKeydown && !f.edit->OnKeyUp && !f.edit->OnKeypress && !f.edit->OnMouseDown &&
                !f.edit->OnMouseUp);
    }

    // Where the field, rendered, shows pixels of `colour` inside its border
    // (an empty rectangle: nowhere).
    static QRect pixelsOf(THOX_edit* edit, QColor colour)
    {
        QImage image(edit->size(), QImage::Format_RGB32);
        edit->render(&image);
        QRect found;
        for (int y = 3; y < image.height() - 3; ++y)
            for (int x = 3; x < image.width() - 3; ++x)
                if (image.pixelColor(x, y) == colour) found |= QRect(x, y, 1, 1);
        return found;
    }
    static QRect textPixels(THOX_edit* edit) { return pixelsOf(edit, edit->palette().color(QPalette::Text)); }
    static bool caretPictureShown(THOX_edit* edit) { return !pixelsOf(edit, Qt::red).isNull(); }

    void alignmentMovesTheTextAndKeepsTheFocus()
    {
        Form f;
        QTest::keyClicks(f.edit, "88");
        int width = f.edit->width();
        QVERIFY(textPixels(f.edit).right() < width / 3);
        f.edit->setAlignment(taCenter);
        QRect centred = textPixels(f.edit);
        QVERIFY(centred.left() > width / 3 && centred.right() < 2 * width / 3);
        f.edit->setAlignment(taRightJustify);
        QVERIFY(textPixels(f.edit).left() > 2 * width / 3);
        QVERIFY(f.edit->hasFocus());
    }

    void alignDocksTheFieldAcrossItsParent()
    {
        QWidget parent;
        auto* box = new QVBoxLayout(&parent);
        auto* top = new THOX_edit(&parent);
        auto* other = new QLineEdit(&parent);
        auto* bottom = new THOX_edit(&parent);
        box->addWidget(bottom);
        box->addWidget(top, 0, Qt::AlignLeft);
        box->addWidget(other);
        bottom->setAlign(alBottom);
        top->setAlign(alTop);
        parent.resize(300, 100);
        parent.show();
        QCoreApplication::processEvents();
        QVERIFY(top->geometry().bottom() < other->geometry().top());
        QVERIFY(other->geometry().bottom() < bottom->geometry().top());
        QCOMPARE(top->width(), other->width());
    }

    void flatLookHasAStaticEdgeAndABorder()
    {
        Form f;
        f.edit->setFlat(true);
        QImage image(f.edit->size(), QImage::Format_RGB32);
        f.edit->render(&image);
        auto colour = [&](QPalette::ColorRole role) { return f.edit->palette().color(role).rgb(); };
        QCOMPARE(image.pixel(5, 0), colour(QPalette::Dark));
        QCOMPARE(image.pixel(0, 5), colour(QPalette::Dark));
        QCOMPARE(image.pixel(5, image.height() - 1), colour(QPalette::Light));
        QCOMPARE(image.pixel(image.width() - 1, 5), colour(QPalette::Light));
        QCOMPARE(image.pixel(5, 1), colour(QPalette::WindowText));
    }

    void caretPictureShowsWhileFocused()
    {
        Form f;
        QPixmap picture(2, 12);
        picture.fill(Qt::red);
        f.edit->setInput_caret(picture);
        picture.fill(Qt::blue);
        QCOMPARE(f.edit->Input_caret().toImage().pixelColor(0, 0), QColor(Qt::red)); // a copy
        QVERIFY(caretPictureShown(f.edit));
        f.other->setFocus();
        QVERIFY(!caretPictureShown(f.edit));
        f.edit->setFocus();
        QVERIFY(caretPictureShown(f.edit));
    }

    // The standard text cursor of an empty field is the only thing in the text colour.
    void emptyCaretPictureBringsTheStandardCaretBack()
    {
        Form f;
        QVERIFY(!textPixels(f.edit).isNull());
        QPixmap picture(2, 12);
        picture.fill(Qt::red);
        f.edit->setInput_caret(picture);
        QVERIFY(textPixels(f.edit).isNull());
        f.edit->setInput_caret(QPixmap());
        f.other->setFocus();
        f.edit->setFocus();
        QVERIFY(!textPixels(f.edit).isNull());
        QVERIFY(!caretPictureShown(f.edit));
    }

    void flatTextKeepsClearOfTheBorder()
    {
        Form f;
        f.edit->setFlat(true);
        QTest::keyClicks(f.edit, QString(40, 'W')); // runs past the right edge, the caret at its end
        QImage image(f.edit->size(), QImage::Format_RGB32);
        f.edit->render(&image);
        QColor base = f.edit->palette().color(QPalette::Base);
        // Inside the edge and border (two pixels each side), a margin of one pixel stays clear.
        for (int x : {2, image.width() - 3})
            for (int y = 2; y < image.height() - 2; ++y)
                QVERIFY2(image.pixelColor(x, y) == base, qPrintable(QString("%1,%2").arg(x).arg(y)));
    }

    void textLineIsCentredVertically()
    {
        Form f;
        f.edit->setFlat(true);
        f.edit->resize(120, 60);
        QTest::keyClicks(f.edit, "|");
        QRect text = textPixels(f.edit);
        QVERIFY2(qAbs(text.center().y() - 30) <= 2, qPrintable(QString::number(text.center().y())));
    }

    void dropDeliversExistingFilesInOrder()
    {
        QTemporaryDir dir;
        QWidget owner;
        owner.show();
        THOX_dragdrop drop(&owner);
        drop.setActive(true);
        QVERIFY(owner.acceptDrops());
        int calls = 0, items = 0;
        QStringList got;
        drop.onfilesdropped = [&](int numitems, const QStringList& list) {
            ++calls;
            items = numitems;
            got = list;
        };
        QString a = touch(dir.filePath("a.dff")), b = touch(dir.filePath("B.IMG"));
        QString longName = dir.filePath(QString(200, 'x') + "/" + QString(200, 'y') + ".txd");
        QDir().mkpath(QFileInfo(longName).path());
        touch(longName);
        QVERIFY(brimlet::test::dropFiles(&owner, {a, dir.path(), dir.filePath("gone.txd"), b, longName}));
        QCOMPARE(calls, 1);
        QCOMPARE(items, 5);
        QCOMPARE(got, (QStringList{a, b, longName}));

        // A drop that comes while the handler runs (during its dialog)
        // leaves the list the handler holds as it was.
        QStringList heldDuringSecondDrop;
        drop.onfilesdropped = [&](int, const QStringList& list) {
            if (heldDuringSecondDrop.isEmpty()) {
                heldDuringSecondDrop = list;
                brimlet::test::dropFiles(&owner, {b});
                QCOMPARE(list, heldDuringSecondDrop);
            }
        };
        QVERIFY(brimlet::test::dropFiles(&owner, {a, longName}));
        QCOMPARE(heldDuringSecondDrop, (QStringList{a, longName}));
        drop.onfilesdropped = [&](int numitems, const QStringList& list) {
            ++calls;
            items = numitems;
            got = list;
        };

        QVERIFY(brimlet::test::dropFiles(&owner, {dir.path()})); // folders only: no event
        QCOMPARE(calls, 1);
        QVERIFY(brimlet::test::dropFiles(&owner, {b})); // the list holds this drop's files only
        QCOMPARE(got, QStringList{b});

        drop.onfilesdropped = nullptr; // no handler: the drop is taken all the same
        QVERIFY(brimlet::test::dropFiles(&owner, {b}));

        drop.setActive(false);
        QVERIFY(!owner.acceptDrops());
        QVERIFY(!brimlet::test::dropFiles(&owner, {a}));
        drop.setActive(true);
        drop.setActive(true);
        QVERIFY(owner.acceptDrops());
    }

    void ownerMustBeAWidgetAndGetsItsEventsBack()
    {
        QObject notAWidget;
        try {
            THOX_dragdrop drop(&notAWidget);
            QFAIL("no failure");
        } catch (const std::exception& e) {
            QCOMPARE(QString(e.what()), QString("Invalid class typecast"));
        }
        // An owner that takes drops itself sees each drop once, before the
        // component does; once the component is gone it goes on alone.
        struct Owner : QWidget {
            QStringList seen;
            void dragEnterEvent(QDragEnterEvent* event) override { event->acceptProposedAction(); }
            void dropEvent(QDropEvent* event) override
            {
                seen << "owner";
                event->acceptProposedAction();
            }
        } owner;
        owner.show();
        QTemporaryDir dir;
        QString file = touch(dir.filePath("a"));
        {
            THOX_dragdrop drop(&owner);
            drop.setActive(true);
            drop.onfilesdropped = [&](int, const QStringList&) { owner.seen << "component"; };
            QVERIFY(brimlet::test::dropFiles(&owner, {file}));
            QCOMPARE(owner.seen, (QStringList{"owner", "component"}));
        }
        owner.seen.clear();
        QVERIFY(brimlet::test::dropFiles(&owner, {file}));
        QCOMPARE(owner.seen, QStringList{"owner"});
    }
};

QTEST_MAIN(TestControls)
#include "tst_controls.moc"
