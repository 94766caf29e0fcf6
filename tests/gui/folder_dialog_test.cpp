#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include "mainwindow/folder_dialog.h"
#include "tests/support/modal.h"
#include "tests/support/temp_dir.h"

using namespace Qt::StringLiterals;

namespace vellumar
{
namespace
{

using test::TTempDir;
using test::WhenModal;

struct TShortenCase {
    QString Path;
    QString Expected;
};

class ShortenPathTest : public ::testing::TestWithParam<TShortenCase>
{
};

TEST_P(ShortenPathTest, ShowsWhatFitsInFiftyCharacters)
{
    const QString shown = ShortenPath(GetParam().Path);
    EXPECT_EQ(shown, GetParam().Expected);
    EXPECT_LE(shown.size(), 50);
}

const QString k40 = QString(40, u'a');
const QString k60 = QString(60, u'x');

INSTANTIATE_TEST_SUITE_P(Rules,
    ShortenPathTest,
    ::testing::Values(
        // Up to 50 characters: whole.
        TShortenCase { u"/"_s, u"/"_s },
        TShortenCase { u"/home/ann/Photos"_s, u"/home/ann/Photos"_s },
        TShortenCase { u"/"_s + QString(49, u'p'), u"/"_s + QString(49, u'p') },
        // Longer: the root, "...", and as many last components as fit.
        TShortenCase { u"/home/ann/"_s + k40 + u"/2024/Summer"_s, u"/.../2024/Summer"_s },
        TShortenCase { u"/srv/"_s + k40 + u"/"_s + QString(20, u'b') + u"/"_s + QString(24, u'c'),
            u"/.../"_s + QString(20, u'b') + u"/"_s + QString(24, u'c') },
        // Exactly 50 after shortening still fits.
        TShortenCase { u"/srv/"_s + k40 + u"/"_s + QString(45, u'd'), u"/.../"_s + QString(45, u'd') },
        // The last component alone is too long: cut to 47 characters plus "...".
        TShortenCase { u"/srv/photos/"_s + k60, (u"/.../"_s + k60).left(47) + u"..."_s },
        // Fewer than two separators: the first 50 characters.
        TShortenCase { u"/"_s + k60, (u"/"_s + k60).left(50) },
        TShortenCase { k60 + u"/x"_s, k60.left(50) },
        // A relative path keeps its first component as the root part.
        TShortenCase { u"rel/"_s + QString(45, u'a') + u"/last"_s, u"rel/.../last"_s }));

TEST(FolderCaptions, LookupFallsBackToDefaultThenFirstEntry)
{
    EXPECT_EQ(LookupCaption(LabelCaptions(), u"0413"_s), u"Huidige map"_s);
    EXPECT_EQ(LookupCaption(NewFolderCaptions(), u"0413"_s), u"Nieuwe map"_s);
    EXPECT_EQ(LookupCaption(LabelCaptions(), u"0C07"_s), u"Ausgewählter Ordner:"_s);
    EXPECT_EQ(LookupCaption(NewFolderCaptions(), u"0810"_s), u"Nuova Cartella"_s);
    EXPECT_EQ(LookupCaption(LabelCaptions(), u"0416"_s), u"Pasta Atual:"_s);
    EXPECT_EQ(LookupCaption(LabelCaptions(), u"041D"_s), u"Current folder:"_s);
    EXPECT_EQ(LookupCaption(LabelCaptions(), QString()), u"Current folder:"_s);
    EXPECT_EQ(LabelCaptions().size(), 22u);
    EXPECT_EQ(NewFolderCaptions().size(), 22u);

    const TCaptionTable noDefault = { { u"0406"_s, u"Valgt mappe:"_s }, { u"0407"_s, u"Ausgewählter Ordner:"_s } };
    EXPECT_EQ(LookupCaption(noDefault, u"0407"_s), u"Ausgewählter Ordner:"_s);
    EXPECT_EQ(LookupCaption(noDefault, u"0409"_s), u"Valgt mappe:"_s);
    EXPECT_EQ(LookupCaption({}, u"0409"_s), QString());
}

TEST(FolderCaptions, LocaleNamesGiveLanguageIdentifiers)
{
    const std::pair<const char *, const char *> cases[] = {
        { "en_US", "0409" },
        { "en_GB", "0809" },
        { "de_DE", "0407" },
        { "de_CH", "0807" },
        { "de_AT", "0C07" },
        { "nl_NL", "0413" },
        { "da_DK", "0406" },
        { "it_IT", "0410" },
        { "it_CH", "0810" },
        { "pt_BR", "0416" },
        { "en_AU", "0C09" },
        { "en_CA", "1009" },
        { "en_NZ", "1409" },
        { "en_IE", "1809" },
        { "en_ZA", "1C09" },
        { "de_LU", "1007" },
        { "de_LI", "1407" },
        { "en_JM", "2009" },
        { "en_BZ", "2809" },
        { "en_TT", "2C09" },
        { "en", "0009" },
        { "de-CH", "0807" },
        { "de_AT.UTF-8", "0C07" },
        { "nl_NL@euro", "0413" },
        { "en_XX", "0009" },
        { "C", "" },
        { "xx_YY", "" },
        { "", "" },
    };
    for (const auto &[name, key] : cases)
        EXPECT_EQ(LanguageKeyForLocaleName(QString::fromLatin1(name)), QString::fromLatin1(key)) << name;
}

// Runs the dialog; the script acts on each opening in turn (the new-folder button reopens it).
class FolderDialogTest : public ::testing::Test
{
protected:
    QString MakeFolder(const QString &relative) const
    {
        QDir().mkpath(mTemp.File(relative));
        return QDir::cleanPath(mTemp.File(relative));
    }

    TTempDir mTemp;
    TFolderDialog mDialog;
};

TEST_F(FolderDialogTest, OkReturnsTheHighlightedFolderAndRemembersIt)
{
    const QString folder = MakeFolder(u"Photos/2024"_s);
    QString status;
    WhenModal<TfrmFolderBrowse>([&](TfrmFolderBrowse *window) {
        EXPECT_TRUE(window->HighlightedPath().isEmpty()) << "the first opening highlights nothing";
        EXPECT_FALSE(window->NewFolderButton()->isEnabled());
        EXPECT_TRUE(window->OkButton()->isEnabled());
        EXPECT_TRUE(window->SelectPath(folder + u"/"_s));
        status = window->StatusText();
        EXPECT_TRUE(window->NewFolderButton()->isEnabled());
        QTest::mouseClick(window->OkButton(), Qt::LeftButton);
    });
    EXPECT_EQ(mDialog.Execute(nullptr), std::optional<QString>(folder));
    EXPECT_EQ(status, ShortenPath(folder));
    EXPECT_EQ(mDialog.Remembered(), folder);

    // The next opening highlights it; Cancel returns nothing and keeps it.
    QString highlighted;
    WhenModal<TfrmFolderBrowse>([&](TfrmFolderBrowse *window) {
        highlighted = window->HighlightedPath();
        QTest::mouseClick(window->CancelButton(), Qt::LeftButton);
    });
    EXPECT_EQ(mDialog.Execute(nullptr), std::nullopt);
    EXPECT_EQ(highlighted, folder);
    EXPECT_EQ(mDialog.Remembered(), folder);
}

TEST_F(FolderDialogTest, RootIsReturnedWithItsSeparatorAndHiddenFoldersAreNotShown)
{
    MakeFolder(u".hidden/inner"_s);
    WhenModal<TfrmFolderBrowse>([&](TfrmFolderBrowse *window) {
        EXPECT_FALSE(window->SelectPath(mTemp.File(u".hidden/inner"_s)));
        EXPECT_TRUE(window->HighlightedPath().isEmpty());
        EXPECT_TRUE(window->SelectPath(u"/"_s));
        EXPECT_EQ(window->StatusText(), u"/"_s);
        window->OkButton()->click();
    });
    EXPECT_EQ(mDialog.Execute(nullptr), std::optional<QString>(u"/"_s));
}

TEST_F(FolderDialogTest, VanishedRememberedFolderHighlightsNothingAndOkWithoutAFolderAcceptsNothing)
{
    mDialog.SetRemembered(mTemp.File(u"gone"_s));
    WhenModal<TfrmFolderBrowse>([](TfrmFolderBrowse *window) {
        EXPECT_TRUE(window->HighlightedPath().isEmpty());
        EXPECT_TRUE(window->StatusText().isEmpty());
        window->OkButton()->click();
    });
    EXPECT_EQ(mDialog.Execute(nullptr), std::nullopt);
    EXPECT_EQ(mDialog.Remembered(), mTemp.File(u"gone"_s));
}

TEST_F(FolderDialogTest, PromptAndNewFolderCaptionFollowTheLanguage)
{
    mDialog.SetLanguageKey(u"0413"_s);
    WhenModal<TfrmFolderBrowse>([](TfrmFolderBrowse *window) {
        EXPECT_EQ(window->PromptText(), u"Huidige map"_s);
        EXPECT_EQ(window->NewFolderButton()->text(), u"Nieuwe map"_s);
        window->reject();
    });
    EXPECT_EQ(mDialog.Execute(nullptr), std::nullopt);
    mDialog.SetLanguageKey(u"041D"_s);
    EXPECT_EQ(mDialog.PromptText(), u"Current folder:"_s);
    EXPECT_EQ(mDialog.NewFolderCaption(), u"New folder"_s);
}

TEST_F(FolderDialogTest, NewFolderWithMissingParentsReopensOnItAndIsRememberedAfterCancel)
{
    const QString parent = MakeFolder(u"Photos"_s);
    const QString created = parent + u"/Web/Small"_s;
    QString askedCaption;
    mDialog.SetNameInput([&](QWidget *, const QString &caption) {
        askedCaption = caption;
        return std::optional<QString>(u"Web/Small"_s);
    });
    QString reopenedOn;
    WhenModal<TfrmFolderBrowse>([&](TfrmFolderBrowse *window) {
        window->SelectPath(parent);
        WhenModal<TfrmFolderBrowse>([&](TfrmFolderBrowse *reopened) {
            reopenedOn = reopened->HighlightedPath();
            reopened->CancelButton()->click();
        });
        window->NewFolderButton()->click();
    });
    EXPECT_EQ(mDialog.Execute(nullptr), std::nullopt);
    EXPECT_EQ(askedCaption, mDialog.NewFolderCaption());
    EXPECT_TRUE(QFileInfo(created).isDir());
    EXPECT_EQ(reopenedOn, created);
    EXPECT_EQ(mDialog.Remembered(), created);

    // Accepting the reopened dialog chooses the new folder.
    mDialog.SetNameInput([](QWidget *, const QString &) {
        return std::optional<QString>(u"  Large  "_s);
    });
    WhenModal<TfrmFolderBrowse>([&](TfrmFolderBrowse *window) {
        WhenModal<TfrmFolderBrowse>([](TfrmFolderBrowse *reopened) {
            reopened->OkButton()->click();
        });
        window->NewFolderButton()->click();
    });
    EXPECT_EQ(mDialog.Execute(nullptr), std::optional<QString>(created + u"/Large"_s));
}

TEST_F(FolderDialogTest, NewHiddenFolderIsHighlightedAndAccepted)
{
    const QString parent = MakeFolder(u"Photos"_s);
    mDialog.SetNameInput([](QWidget *, const QString &) {
        return std::optional<QString>(u".web"_s);
    });
    QString reopenedOn;
    WhenModal<TfrmFolderBrowse>([&](TfrmFolderBrowse *window) {
        window->SelectPath(parent);
        WhenModal<TfrmFolderBrowse>([&](TfrmFolderBrowse *reopened) {
            reopenedOn = reopened->HighlightedPath();
            reopened->OkButton()->click();
        });
        window->NewFolderButton()->click();
    });
    EXPECT_EQ(mDialog.Execute(nullptr), std::optional<QString>(parent + u"/.web"_s));
    EXPECT_EQ(reopenedOn, parent + u"/.web"_s);

    // Opened later on another folder, the dialog still lists the folder made in it.
    mDialog.SetRemembered(parent);
    bool listed = false;
    WhenModal<TfrmFolderBrowse>([&](TfrmFolderBrowse *window) {
        listed = window->SelectPath(parent + u"/.web"_s);
        window->CancelButton()->click();
    });
    EXPECT_EQ(mDialog.Execute(nullptr), std::nullopt);
    EXPECT_TRUE(listed);
}

// A typed path highlights its folder and is the choice; one that names no folder keeps the dialog open.
// The dialog bears the caption it is given and may grow beyond its first size.
TEST_F(FolderDialogTest, ATypedPathIsChosenAndTheDialogIsCaptionedAndResizable)
{
    const QString folder = MakeFolder(u"Photos/2024"_s);
    QString caption;
    QSize minimum;
    int warnings = 0;
    QString highlighted;
    WhenModal<TfrmFolderBrowse>([&](TfrmFolderBrowse *window) {
        caption = window->windowTitle();
        minimum = window->minimumSize();
        QLineEdit *path = window->PathField();
        path->setFocus();
        QTest::keyClicks(path, mTemp.File(u"Photos/missing"_s));
        WhenModal<QMessageBox>([&](QMessageBox *box) {
            ++warnings;
            box->accept();
        });
        window->OkButton()->click();
        EXPECT_TRUE(window->isVisible());
        path->clear();
        QTest::keyClicks(path, folder);
        highlighted = window->HighlightedPath();
        window->OkButton()->click();
    });
    EXPECT_EQ(mDialog.Execute(nullptr, u"Choose Source Folder"_s), std::optional<QString>(folder));
    EXPECT_EQ(caption, u"Choose Source Folder"_s);
    EXPECT_EQ(minimum, QSize(380, 440));
    EXPECT_EQ(warnings, 1);
    EXPECT_EQ(highlighted, folder);
}

TEST_F(FolderDialogTest, CancelledOrEmptyNameDoesNothing)
{
    const QString parent = MakeFolder(u"Photos"_s);
    std::vector<std::optional<QString>> answers = { std::nullopt, u""_s, u"   "_s };
    mDialog.SetNameInput([&](QWidget *, const QString &) {
        std::optional<QString> answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    });
    WhenModal<TfrmFolderBrowse>([&](TfrmFolderBrowse *window) {
        window->SelectPath(parent);
        for (int i = 0; i < 3; ++i)
            window->NewFolderButton()->click();
        EXPECT_TRUE(window->isVisible());
        EXPECT_EQ(window->HighlightedPath(), parent);
        window->CancelButton()->click();
    });
    EXPECT_EQ(mDialog.Execute(nullptr), std::nullopt);
    EXPECT_TRUE(answers.empty());
    EXPECT_EQ(QDir(parent).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    EXPECT_TRUE(mDialog.Remembered().isEmpty());
}

TEST_F(FolderDialogTest, FailedCreationWarnsWithTheSystemsReasonAndKeepsTheDialog)
{
    const QString parent = MakeFolder(u"Photos"_s);
    mTemp.WriteText(u"Photos/notes"_s, "a file, not a folder");
    mDialog.SetNameInput([](QWidget *, const QString &) {
        return std::optional<QString>(u"notes/sub"_s);
    });
    QString warning;
    QString warningTitle;
    int warnings = 0;
    WhenModal<TfrmFolderBrowse>([&](TfrmFolderBrowse *window) {
        window->SelectPath(parent);
        WhenModal<QMessageBox>([&](QMessageBox *box) {
            ++warnings;
            warning = box->text();
            warningTitle = box->windowTitle();
            box->accept();
        });
        window->NewFolderButton()->click();
        EXPECT_EQ(window->HighlightedPath(), parent);
        window->CancelButton()->click();
    });
    EXPECT_EQ(mDialog.Execute(nullptr), std::nullopt);
    EXPECT_EQ(warnings, 1);
    EXPECT_EQ(warningTitle, mDialog.NewFolderCaption());
    EXPECT_EQ(warning,
        u"Cannot create folder "_s + parent + u"/notes/sub - Error: "_s
            + QString::fromStdString(std::make_error_code(std::errc::not_a_directory).message()));
    EXPECT_TRUE(mDialog.Remembered().isEmpty());
}

} // namespace
} // namespace vellumar
