#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include "cli/options.h"
#include "tests/support/temp_dir.h"

namespace vellumar
{
namespace
{

const QString kManualDir = QStringLiteral(VELLUMAR_MANUAL_DIR);

struct TRun {
    int Exit = -1;
    QString Out;
    QString Err;
};

TRun RunProgram(const QString &program, const QStringList &arguments, const QString &folder = {})
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("MANWIDTH"), QStringLiteral("200"));
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(folder);
    process.start(program, arguments);
    process.waitForFinished(60000);
    return { process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
        QString::fromUtf8(process.readAllStandardOutput()),
        QString::fromUtf8(process.readAllStandardError()) };
}

// man renders both pages without a warning, and the batch page has an entry for each option of the table
// and for nothing else.
TEST(Manual, PagesRenderCleanlyAndListEveryOption)
{
    if (QStandardPaths::findExecutable(QStringLiteral("man")).isEmpty())
        GTEST_SKIP() << "man is not installed";
    for (const QString &page : { QStringLiteral("vellumar-batch.1"), QStringLiteral("vellumar.1") }) {
        const TRun run = RunProgram(QStringLiteral("man"),
            { QStringLiteral("--warnings"), QStringLiteral("-l"), kManualDir + u'/' + page });
        EXPECT_EQ(run.Exit, 0) << page.toStdString();
        EXPECT_EQ(run.Err, QString()) << page.toStdString();
    }
    const TRun batch =
        RunProgram(QStringLiteral("man"), { QStringLiteral("-l"), kManualDir + QStringLiteral("/vellumar-batch.1") });
    QStringList listed;
    const QRegularExpression entry(QStringLiteral("^ {7}(--[a-z-]+)"), QRegularExpression::MultilineOption);
    for (auto match = entry.globalMatch(batch.Out); match.hasNext();)
        listed << match.next().captured(1);
    QStringList table;
    for (const TBatchOption &option : BatchOptionTable())
        table << QLatin1String(option.Name);
    EXPECT_EQ(listed, table);
}

// Every value a completion offers is one the parser accepts.
TEST(Manual, EveryChoiceParses)
{
    for (const TBatchOption &option : BatchOptionTable()) {
        for (const QString &choice : option.Choices) {
            TBatchOptions options;
            EXPECT_NO_THROW(option.Apply(options, QLatin1String(option.Name), choice))
                << option.Name << " " << choice.toStdString();
        }
    }
}

// bash's completion of a partial line, the words as bash splits them ("=" is a word of its own), in a folder
// holding a folder and a file.
TEST(Manual, BashCompletesNamesValuesAndPaths)
{
    const QString helpers = QStringLiteral("/usr/share/bash-completion/bash_completion");
    if (!QFile::exists(helpers))
        GTEST_SKIP() << "bash-completion is not installed";
    const test::TTempDir folder;
    ASSERT_TRUE(QDir(folder.Path()).mkdir(QStringLiteral("shots")));
    folder.WriteText(QStringLiteral("settings.json"), "{}");
    const QString driver =
        QStringLiteral("source %1; source %2/vellumar-batch.bash;"
                       "COMP_LINE=$1; shift; COMP_WORDS=(\"$@\"); COMP_CWORD=$(($# - 1));"
                       "COMP_POINT=${#COMP_LINE}; _vellumar_batch; printf '%s\\n' \"${COMPREPLY[@]}\"")
            .arg(helpers, kManualDir);
    const struct {
        QStringList Words;
        QStringList Expected;
    } cases[] = {
        { { "--pos" }, { "--position" } },
        { { "--re" }, { "--recursive", "--rename", "--report", "--report-csv", "--report-json", "--resize" } },
        { { "--position", "bottom-" }, { "bottom-centre", "bottom-left", "bottom-right" } },
        { { "--size", "=", "la" }, { "large", "larger", "largest" } },
        { { "--metadata", "keep" }, { "keep", "keep-no-gps" } },
        { { "--filter", "" }, { "nearest", "smooth" } },
        { { "--coding", "" }, { "baseline", "optimized", "progressive" } },
        { { "--existing", "=", "r" }, { "rename", "replace" } },
        { { "--colour", "wh" }, { "white" } },
        { { "--preset", "se" }, { "settings.json" } },
        { { "--quality", "s" }, {} },
        { { "--rename", "s" }, { "shots" } },
    };
    for (const auto &[words, expected] : cases) {
        // The line as typed: no blank on either side of "=".
        QString line = QStringLiteral("vellumar-batch");
        for (qsizetype i = 0; i < words.size(); ++i)
            line += (words[i] == u'=' || (i > 0 && words[i - 1] == u'=') ? QString() : QStringLiteral(" ")) + words[i];
        const TRun run = RunProgram(QStringLiteral("bash"),
            QStringList { QStringLiteral("-c"), driver, QStringLiteral("bash"), line, QStringLiteral("vellumar-batch") }
                + words,
            folder.Path());
        QStringList offered = run.Out.split(u'\n', Qt::SkipEmptyParts);
        offered.sort();
        EXPECT_EQ(offered, expected) << words.join(u' ').toStdString() << "\n" << run.Err.toStdString();
    }
}

// The zsh and fish completions are read by their shells without a syntax error.
TEST(Manual, ZshAndFishCompletionsParse)
{
    const struct {
        const char *Shell;
        const char *File;
    } cases[] = { { "zsh", "_vellumar-batch" }, { "fish", "vellumar-batch.fish" } };
    for (const auto &[shell, file] : cases) {
        if (QStandardPaths::findExecutable(QLatin1String(shell)).isEmpty()) {
            std::printf("%s is not installed: its completion is not checked\n", shell);
            continue;
        }
        const TRun run =
            RunProgram(QLatin1String(shell), { QStringLiteral("-n"), kManualDir + u'/' + QLatin1String(file) });
        EXPECT_EQ(run.Exit, 0) << shell << ": " << run.Err.toStdString();
    }
}

} // namespace
} // namespace vellumar
