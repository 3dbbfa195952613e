// What assistive technologies read of the settings window and the text fields, and the symbols drawn.
#include "app/views/scroll_area_accessible.h"
#include "app/views/text_field_accessible.h"
#include "popup/views/symbol_icons.h"
#include "settings_window_fixture.h"
#include "support/accessible_walk.h"
#include "support/qt_environment.h"
#include "support/snapshots.h"

#include <gmock/gmock.h>

#include <QAccessible>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>

namespace hb::views {
namespace {

using testing::IsEmpty;

const auto* environment = testing::AddGlobalTestEnvironment(new test::QtEnvironment);

class WindowAccessibility : public test::SettingsWindowFixture {};

TEST_F(WindowAccessibility, EverySettingsTabNamesItsControls)
{
    SettingsWindow window(services());
    window.show();
    for (auto tab : {SettingsWindow::Tab::general, SettingsWindow::Tab::popup, SettingsWindow::Tab::ignored,
                     SettingsWindow::Tab::developer}) {
        window.selectTab(tab);
        EXPECT_THAT(test::unnamedControls(window), IsEmpty()) << "tab " << int(tab);
    }
    // The wizard's steps: the wizard's window test.
}

// A screen reader asks for children by the count it read earlier: after the
// scroll bar hid, that index is past the end and must give no child.
TEST(ScrollAreaAccessible, ChildPastTheEndAfterTheScrollBarHidIsNone)
{
    QAccessible::installFactory(scrollAreaAccessible);
    QScrollArea area;
    auto* content = new QLabel("rows");
    content->setFixedSize(100, 2000);
    area.setWidget(content);
    area.resize(200, 200);
    area.show();
    QAccessibleInterface* element = QAccessible::queryAccessibleInterface(&area);
    ASSERT_EQ(element->childCount(), 2);
    EXPECT_EQ(element->child(1)->object(), area.verticalScrollBar());

    content->setFixedSize(100, 50);
    area.resize(200, 201);
    QCoreApplication::processEvents();
    EXPECT_EQ(element->childCount(), 1);
    EXPECT_EQ(element->child(1), nullptr);
    EXPECT_EQ(element->child(-1), nullptr);

    QAccessible::removeFactory(scrollAreaAccessible);
}

// Hintboard's own text interface for line edits: every piece a screen reader
// asks for comes back, and the pieces are the ones it expects.
using Place = TextPlace;
constexpr auto character = QAccessible::CharBoundary, word = QAccessible::WordBoundary,
               sentence = QAccessible::SentenceBoundary, line = QAccessible::LineBoundary,
               whole = QAccessible::NoBoundary;

const QString emoji = QString::fromUtf8("👍🏽 ok");         // a surrogate pair with its modifier: 4 units
const QString combining = QString::fromUtf8("e\u0301te\u0301"); // "été" with combining accents
const QString rightToLeft = QString::fromUtf8("שלום עולם");

TEST(TextPiece, PiecesAreThoseAScreenReaderReads)
{
    const std::tuple<QString, QAccessible::TextBoundaryType, int, Place, TextSpan> cases[] = {
        {"save as", character, 7, Place::at, {7, 7}}, {"save as", character, 7, Place::before, {6, 7}},
        {"save as", word, 0, Place::at, {0, 4}},      {"save as", word, 4, Place::at, {4, 5}},
        {"save as", word, 7, Place::at, {5, 7}}, // the end: the last word, where Qt's own looped
        {"save as", word, 2, Place::after, {4, 5}},   {"save as", word, 5, Place::before, {4, 5}},
        {"save as", word, 0, Place::before, {0, 0}},  {"save as", word, 6, Place::after, {7, 7}},
        {"save as", sentence, 3, Place::at, {0, 7}},  {"save as", whole, 3, Place::at, {0, 7}},
        {"   ", word, 1, Place::at, {0, 3}},          {"", word, 0, Place::at, {0, 0}},
        {"save", word, 9, Place::at, {0, 0}},         {"save", word, -1, Place::at, {0, 4}},    // -1 is the end
        {emoji, character, 0, Place::at, {0, 4}},     {emoji, character, 1, Place::at, {0, 4}}, // inside the pair
        {emoji, character, 0, Place::after, {4, 5}},  {combining, character, 0, Place::at, {0, 2}},
        {combining, word, 4, Place::at, {0, 5}},      {rightToLeft, word, 1, Place::at, {0, 4}},
        {"one\ntwo", line, 5, Place::at, {4, 7}},     {"Save it. Then quit.", sentence, 12, Place::at, {9, 19}},
    };
    for (const auto& [text, boundary, offset, place, expected] : cases)
        EXPECT_EQ(textPiece(text, boundary, offset, place), expected) << text.toStdString() << " @" << offset;
}

TEST(TextFieldAccessible, PasswordsAreReadAsStars)
{
    QAccessible::installFactory(textFieldAccessible);
    QLineEdit field("secret");
    field.setEchoMode(QLineEdit::Password);
    QAccessibleInterface* element = QAccessible::queryAccessibleInterface(&field);
    EXPECT_TRUE(element->state().passwordEdit);
    int start = 0, end = 0;
    EXPECT_EQ(element->textInterface()->textAtOffset(0, word, &start, &end), QString(6, '*'));
    element->editableTextInterface()->insertText(6, "!");
    EXPECT_EQ(field.text(), "secret!");
    QAccessible::removeFactory(textFieldAccessible);
}

TEST(SymbolIcons, EveryShippedSymbolDrawsInItsTintAndAnUnknownOneStillDraws)
{
    const auto names = QDir(QStringLiteral(":/symbols")).entryList();
    ASSERT_GE(names.size(), 20);
    for (const auto& file : names) {
        const auto symbol = file.chopped(4).toStdString();
        SCOPED_TRACE(symbol);
        // Drawn, and tinted: every drawn pixel is red, whatever the file's own colour.
        const QImage image =
            shippedSymbolIcon(symbol, Qt::red, 16).pixmap(16).toImage().convertToFormat(QImage::Format_ARGB32);
        EXPECT_GT(test::inkedPixels(image), 10);
        int offTint = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                offTint += qAlpha(image.pixel(x, y)) == 255 && (image.pixel(x, y) | 0xFF000000u) != qRgb(255, 0, 0);
        EXPECT_EQ(offTint, 0);
    }
    // An unknown symbol still draws something.
    EXPECT_FALSE(hasShippedSymbol("no.such.symbol"));
    EXPECT_GT(test::inkedPixels(symbolIcon("no.such.symbol", Qt::black).pixmap(16).toImage()), 10);
}

} // namespace
} // namespace hb::views
