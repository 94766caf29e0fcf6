#include <memory>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/folder_rules.h"
#include "engine/source_list.h"
#include "imaging/file_io.h"
#include "tests/support/temp_dir.h"

namespace vellumar
{
namespace
{

using test::TTempDir;

void Touch(const TTempDir &dir, const QStringList &names)
{
    for (const QString &name : names)
        dir.WriteText(name, name.toUtf8());
}

QString ErrorOf(TSourceList &list, const QString &folder)
{
    try {
        list.ChangeListFolder(folder);
    } catch (const EInOutError &error) {
        return error.Message();
    }
    return QStringLiteral("no error");
}

TEST(SourceList, ListsMatchingRegularFilesOnly)
{
    TTempDir dir;
    Touch(dir, { "IMG_0001.JPG", "b.Jpeg", "c.jpg", "d.jpe", "e.jpg.txt", "f.gif", ".x.jpg", "jpg", "g.jpg.jpeg" });
    const QString readOnly = dir.WriteText("ro.jpg", "r");
    ASSERT_EQ(::chmod(readOnly.toUtf8().constData(), 0444), 0);
    const QString unreadable = dir.WriteText("secret.jpg", "s");
    ASSERT_EQ(::chmod(unreadable.toUtf8().constData(), 0000), 0);
    ASSERT_TRUE(QDir(dir.Path()).mkdir("holiday.jpg"));
    ASSERT_EQ(::mkfifo(dir.File("pipe.jpg").toUtf8().constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(dir.File("c.jpg"), dir.File("link.jpg")));
    ASSERT_TRUE(QFile::link(dir.File("holiday.jpg"), dir.File("folderlink.jpg")));
    ASSERT_TRUE(QFile::link(dir.File("gone"), dir.File("dangling.jpg")));

    TSourceList list(dir.Path());
    EXPECT_EQ(list.Names(),
        (QStringList { "b.Jpeg", "c.jpg", "g.jpg.jpeg", "IMG_0001.JPG", "link.jpg", "ro.jpg", "secret.jpg" }));
    EXPECT_EQ(list.Mask(), QStringLiteral("*.jpg;*.jpeg"));
}

TEST(SourceList, SortsByCaseIgnoringCollationWithoutNumericOrder)
{
    TTempDir dir;
    Touch(dir, { "Img3.jpg", "img2.jpg", "img10.jpg", "c.jpg", "B.jpg", "a.jpg" });
    TSourceList list(dir.Path());
    EXPECT_EQ(list.Names(), (QStringList { "a.jpg", "B.jpg", "c.jpg", "img10.jpg", "img2.jpg", "Img3.jpg" }));

    // The user's locale decides where accented letters go.
    TTempDir accents;
    Touch(accents, { "f.jpg", "\u00e9t\u00e9.jpg", "ete.jpg", "Z.jpg" });
    TSourceList english(accents.Path(), QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(english.Names(), (QStringList { "ete.jpg", "\u00e9t\u00e9.jpg", "f.jpg", "Z.jpg" }));
}

TEST(SourceList, NamesThatCollateEqualAreAllListedInOneOrder)
{
    const QStringList names { "a.jpg", "A.jpg", "caf\u00e9.jpg", "cafe\u0301.jpg", "CAF\u00c9.jpg" };
    for (const QLocale &locale : { QLocale::c(), QLocale(QLocale::English, QLocale::UnitedStates) }) {
        TTempDir forward;
        TTempDir backward;
        Touch(forward, names);
        for (auto it = names.rbegin(); it != names.rend(); ++it)
            backward.WriteText(*it, it->toUtf8());
        TSourceList first(forward.Path(), locale);
        TSourceList second(backward.Path(), locale);
        EXPECT_EQ(first.Count(), names.size()) << first.Names().join(' ').toStdString();
        EXPECT_EQ(first.Names(), second.Names()) << locale.name().toStdString();
        // Each spelling reaches its own file.
        for (int i = 0; i < first.Count(); ++i) {
            const std::vector<std::uint8_t> bytes = ReadWholeFile(first.FullPath(i));
            EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size())),
                first.Name(i).toUtf8());
        }
    }
}

TEST(SourceList, Utf8NamesAndPatternsWorkByCharacter)
{
    TTempDir dir;
    Touch(dir, { "\u5199\u771f.JPG", "\U0001F642.jpeg", "\u00dcber.jpg", "na\u0308he.jpg" });
    // A name that is not UTF-8 is listed too, its bytes kept (see NativePath), and sorted as it is shown.
    const QByteArray invalid = QFile::encodeName(dir.Path()) + "/\xff\xfe.jpg";
    ASSERT_GE(::close(::open(invalid.constData(), O_CREAT | O_WRONLY, 0644)), 0);
    // QTemporaryDir cannot remove what a QString cannot name.
    const std::unique_ptr<const char, void (*)(const char *)> removeInvalid(invalid.constData(), [](const char *path) {
        ::unlink(path);
    });

    TSourceList list(dir.Path());
    EXPECT_EQ(list.Count(), 5);
    EXPECT_EQ(list.Name(0), QStringView(u"\xdcff\xdcfe.jpg").toString());
    for (int i = 0; i < list.Count(); ++i)
        EXPECT_TRUE(FileExists(list.FullPath(i))) << list.FullPath(i).toStdString();

    list.SetMask(QStringLiteral("?.jpeg;??.jpg"));
    // Each byte that is not UTF-8 counts as one character.
    EXPECT_EQ(list.Names(), (QStringList { list.Name(0), "\u5199\u771f.JPG", "\U0001F642.jpeg" }));
    EXPECT_EQ(list.Name(0), QStringView(u"\xdcff\xdcfe.jpg").toString());
    list.SetMask(QStringLiteral(";;"));
    EXPECT_EQ(list.Count(), 0);
}

TEST(SourceList, PatternMatching)
{
    EXPECT_TRUE(MatchesFilePattern(u"A.JPG", u"*.jpg"));
    EXPECT_TRUE(MatchesFilePattern(u".jpg", u"*.jpg"));
    EXPECT_TRUE(MatchesFilePattern(u"a.jpg.jpg", u"*.jpg"));
    EXPECT_TRUE(MatchesFilePattern(u"abc", u"a*b*c*"));
    EXPECT_TRUE(MatchesFilePattern(u"x\u00c4y", u"?\u00e4?"));
    EXPECT_FALSE(MatchesFilePattern(u"a.jpgx", u"*.jpg"));
    EXPECT_FALSE(MatchesFilePattern(u"ab", u"?"));
    EXPECT_FALSE(MatchesFilePattern(u"", u"?*"));
    // Many stars over a long name that cannot match must still end quickly.
    EXPECT_FALSE(MatchesFilePattern(QString(5000, QLatin1Char('a')), u"*a*a*a*a*a*a*a*a*b"));
}

// Found by the names fuzzer: a "*" in the name used to be taken as the pattern's literal "*", which
// then left no star to fall back on.
TEST(SourceList, StarsInNamesStillMatchTheWildcard)
{
    EXPECT_TRUE(MatchesFilePattern(u"*9999", u"*"));
    EXPECT_TRUE(MatchesFilePattern(u"*photo.jpg", u"*.jpg"));
    EXPECT_TRUE(MatchesFilePattern(u"a*b*.jpg", u"a*.jpg"));
    EXPECT_FALSE(MatchesFilePattern(u"*photo.jpg", u"*.jpeg"));
    TTempDir dir;
    Touch(dir, { "*photo.jpg", "**.jpeg", "?.jpg" });
    EXPECT_EQ(TSourceList(dir.Path()).Count(), 3);
}

TEST(SourceList, ChoosingTheShownFolderKeepsTheList)
{
    TTempDir dir;
    Touch(dir, { "a.jpg" });
    TSourceList list;
    int changes = 0;
    list.SetOnChange([&] {
        ++changes;
    });
    list.ChangeListFolder(dir.Path());
    EXPECT_EQ(changes, 1);
    Touch(dir, { "b.jpg" });
    list.ChangeListFolder(dir.Path() + "/");
    list.ChangeListFolder(dir.Path() + "/./");
    EXPECT_EQ(list.Names(), QStringList { "a.jpg" });
    EXPECT_EQ(changes, 1);
    list.ReadListFiles();
    EXPECT_EQ(list.Names(), (QStringList { "a.jpg", "b.jpg" }));
    EXPECT_EQ(changes, 2);
    list.ChangeListFolder(QString());
    EXPECT_EQ(list.ListFolder(), dir.Path());
}

TEST(SourceList, FolderThatCannotBeEnteredRaisesAndKeepsTheList)
{
    TTempDir dir;
    Touch(dir, { "a.jpg", "file.txt" });
    TSourceList list(dir.Path());
    EXPECT_EQ(ErrorOf(list, dir.File("missing")), QStringLiteral("No such file or directory"));
    EXPECT_EQ(ErrorOf(list, dir.File("file.txt")), QStringLiteral("Not a directory"));
    EXPECT_EQ(list.ListFolder(), dir.Path());
    EXPECT_EQ(list.Names(), QStringList { "a.jpg" });

    // The folder shown vanishes: choosing it again is an error, reading it gives an empty list.
    TTempDir other;
    TSourceList gone(other.Path() + "/sub/..");
    const QString sub = other.File("sub");
    ASSERT_TRUE(QDir().mkdir(sub));
    gone.ChangeListFolder(sub);
    ASSERT_TRUE(QDir().rmdir(sub));
    EXPECT_EQ(ErrorOf(gone, sub), QStringLiteral("No such file or directory"));
    gone.ReadListFiles();
    EXPECT_EQ(gone.Count(), 0);
    EXPECT_EQ(gone.ListFolder(), sub);
}

// Root reads every folder: as root, this test runs itself again as nobody.
TEST(SourceList, FolderThatCanBeEnteredButNotReadListsNothing)
{
    if (::geteuid() == 0) {
        const QStringList asNobody = { "--reuid=nobody",
            "--regid=nogroup",
            "--clear-groups",
            QCoreApplication::applicationFilePath() };
        QProcess probe;
        probe.start("setpriv", asNobody + QStringList { "--gtest_list_tests" });
        if (!probe.waitForFinished(60000) || probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
            GTEST_SKIP() << "cannot run this test binary as nobody";
        QProcess child;
        child.start("setpriv",
            asNobody + QStringList { "--gtest_filter=SourceList.FolderThatCanBeEnteredButNotReadListsNothing" });
        ASSERT_TRUE(child.waitForFinished(60000));
        EXPECT_EQ(child.exitCode(), 0) << child.readAll().toStdString();
        return;
    }
    TTempDir dir;
    Touch(dir, { "a.jpg" });
    TSourceList list(dir.Path());
    const QString locked = dir.File("locked");
    ASSERT_TRUE(QDir().mkdir(locked));
    Touch(dir, { "locked/b.jpg" });
    const auto restore = qScopeGuard([&] {
        ::chmod(locked.toUtf8().constData(), 0700);
    });
    // Searchable but not readable: entered, listed as empty, no error.
    ASSERT_EQ(::chmod(locked.toUtf8().constData(), 0311), 0);
    EXPECT_EQ(ErrorOf(list, locked), QStringLiteral("no error"));
    EXPECT_EQ(list.ListFolder(), locked);
    EXPECT_EQ(list.Count(), 0);
    // Readable but not searchable: it cannot be entered.
    list.ChangeListFolder(dir.Path());
    ASSERT_EQ(::chmod(locked.toUtf8().constData(), 0600), 0);
    EXPECT_EQ(ErrorOf(list, locked), QStringLiteral("Permission denied"));
    EXPECT_EQ(list.Names(), QStringList { "a.jpg" });
}

TEST(SourceList, FolderIsAbsoluteAndNormalised)
{
    TTempDir dir;
    Touch(dir, { "a.jpg" });
    ASSERT_TRUE(QDir(dir.Path()).mkdir("sub"));
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.Path() + "/sub"));
    TSourceList list(QStringLiteral(".//../"));
    EXPECT_EQ(QDir::currentPath(), dir.Path() + "/sub");
    ASSERT_TRUE(QDir::setCurrent(before));
    EXPECT_EQ(list.ListFolder(), dir.Path());
    EXPECT_EQ(list.FullPath(0), dir.Path() + "/a.jpg");
    EXPECT_THROW((void)list.Name(1), EListError);
    EXPECT_THROW((void)list.FullPath(-1), EListError);

    list.ChangeListFolder(QStringLiteral("/../.."));
    EXPECT_EQ(list.ListFolder(), QStringLiteral("/"));
    EXPECT_EQ(PathInFolder(list.ListFolder(), "a.jpg"), QStringLiteral("/a.jpg"));
    EXPECT_EQ(PathInFolder(QStringLiteral("/photos"), "a.jpg"), QStringLiteral("/photos/a.jpg"));
}

TEST(FolderRules, SameFolder)
{
    EXPECT_TRUE(NameSameFolder(QStringLiteral("/Photos/Beach"), QStringLiteral("/photos/beach//")));
    EXPECT_TRUE(NameSameFolder(QStringLiteral("/"), QStringLiteral("//")));
    EXPECT_FALSE(NameSameFolder(QString(), QString()));
    EXPECT_FALSE(NameSameFolder(QStringLiteral("/photos"), QString()));
    EXPECT_FALSE(NameSameFolder(QStringLiteral("/no/such/\u00c9t\u00e9"), QStringLiteral("/no/such/\u00e9t\u00e9")));
    EXPECT_FALSE(NameSameFolder(QStringLiteral("/no/such/a"), QStringLiteral("/no/such/b")));
}

} // namespace
} // namespace vellumar
