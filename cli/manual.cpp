#include "cli/manual.h"

#include <cstring>

#include <QStringList>

#include "cli/options.h"

namespace vellumar
{

namespace
{

// How a shell completes an option's value.
enum class TValueCompletion { None, Word, Choice, File };

TValueCompletion ValueCompletion(const TBatchOption &option)
{
    if (option.Argument == nullptr)
        return TValueCompletion::None;
    if (!option.Choices.isEmpty())
        return TValueCompletion::Choice;
    // Files are named FILE (a preset, a report) or OUT (the merged report); any other value is typed.
    if (std::strcmp(option.Argument, "FILE") == 0 || std::strcmp(option.Argument, "OUT") == 0)
        return TValueCompletion::File;
    return TValueCompletion::Word;
}

// The option's name without its leading "--".
QString BareName(const TBatchOption &option)
{
    return QLatin1String(option.Name).mid(2);
}

// The help as one line.
QString HelpLine(const TBatchOption &option)
{
    return QLatin1String(option.Help).toString().replace(QLatin1Char('\n'), QLatin1Char(' '));
}

// Text as roff prints it: a backslash and a hyphen literally (a hyphen as the minus sign a user types), and
// a leading dot or quote not read as a request.
QString Roff(const QString &text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\e")).replace(QLatin1Char('-'), QLatin1String("\\-"));
    if (escaped.startsWith(QLatin1Char('.')) || escaped.startsWith(QLatin1Char('\'')))
        escaped.prepend(QLatin1String("\\&"));
    return escaped;
}

// Text within a single-quoted shell word.
QString ShellQuoted(const QString &text)
{
    return QLatin1Char('\'') + QString(text).replace(QLatin1Char('\''), QLatin1String("'\\''")) + QLatin1Char('\'');
}

QString Header(const QString &title, const QString &version)
{
    return QStringLiteral(".TH %1 1 \"\" \"vellumar %2\" \"User Commands\"\n").arg(Roff(title), Roff(version));
}

} // namespace

QString BatchManualPage(const QString &version)
{
    QString page = Header(QStringLiteral("VELLUMAR-BATCH"), version);
    page += QStringLiteral(
        ".SH NAME\n"
        "vellumar\\-batch \\- prepare a folder of JPEG photos for publishing, without a window\n"
        ".SH SYNOPSIS\n"
        ".B vellumar\\-batch\n"
        "[\\fIoptions\\fR] \\fISOURCE\\fR \\fIDEST\\fR\n"
        ".br\n"
        ".B vellumar\\-batch \\-\\-merge\\-reports\n"
        "\\fIOUT\\fR \\fIREPORT.json\\fR...\n"
        ".SH DESCRIPTION\n"
        "Prepares every JPEG photo of the folder \\fISOURCE\\fR for publishing \\(em reduced, re\\-encoded,\n"
        "renamed, with a line of text drawn over it, as the options say \\(em and writes the results into\n"
        "\\fIDEST\\fR.\n"
        "The status log goes to standard output, line by line, as the window\n"
        ".BR vellumar (1)\n"
        "would show it.\n"
        "A photo that cannot be read is reported and the run goes on; a source photo is never changed.\n"
        ".PP\n"
        "An option's value follows it as the next argument or after \\(lq=\\(rq, as in\n"
        "\\fB\\-\\-quality=85\\fR.\n"
        "A flag takes no value.\n"
        "\\fB\\-\\-\\fR ends the options.\n"
        ".SH OPTIONS\n");
    const char *group = nullptr;
    for (const TBatchOption &option : BatchOptionTable()) {
        if (group == nullptr || std::strcmp(group, option.Group) != 0)
            page += QStringLiteral(".SS %1\n").arg(Roff(QLatin1String(option.Group)));
        group = option.Group;
        page += QStringLiteral(".TP\n\\fB%1\\fR").arg(Roff(QLatin1String(option.Name)));
        if (option.Argument != nullptr)
            page += QStringLiteral(" \\fI%1\\fR").arg(Roff(QLatin1String(option.Argument)));
        page += QLatin1Char('\n') + Roff(HelpLine(option)) + QLatin1Char('\n');
    }
    page += QStringLiteral(".SH EXIT STATUS\n"
                           ".TP\n0\nevery photo was done\n"
                           ".TP\n1\na photo failed\n"
                           ".TP\n2\na usage error, or a dry run found clashes that would refuse the run\n"
                           ".TP\n3\na folder cannot be read\n"
                           ".TP\n130, 143, 129\nstopped by Ctrl\\-C (SIGINT), SIGTERM or SIGHUP\n"
                           ".TP\n141\nits output was closed (as by a pipe into head)\n"
                           ".SH EXAMPLES\n"
                           "Reduce every photo so that its longer side is 1600 pixels and number the results:\n"
                           ".PP\n"
                           ".RS\n"
                           "vellumar\\-batch \\-\\-long\\-edge 1600 \\-\\-rename \\-\\-prefix trip\\- photos out\n"
                           ".RE\n"
                           ".SH SEE ALSO\n"
                           ".BR vellumar (1)\n");
    return page;
}

QString WindowManualPage(const QString &version)
{
    return Header(QStringLiteral("VELLUMAR"), version)
        + QStringLiteral(
            ".SH NAME\n"
            "vellumar \\- prepare a folder of JPEG photos for publishing\n"
            ".SH SYNOPSIS\n"
            ".B vellumar\n"
            "[\\fIQt options\\fR]\n"
            ".SH DESCRIPTION\n"
            "A window that prepares every JPEG photo of a source folder for publishing and writes the results\n"
            "into a destination folder: reduced by a percentage, to a longer side or to fit a box, re\\-encoded\n"
            "at a chosen quality, renamed with a prefix, a number and a suffix, and with a line of text drawn\n"
            "over each photo.\n"
            "The status log shows each step; a photo that cannot be read is reported and the run goes on, and a\n"
            "source photo is never changed.\n"
            "The settings can be saved as presets and read back by\n"
            ".BR vellumar\\-batch (1),\n"
            "which does the same without a window.\n"
            ".SH OPTIONS\n"
            "The program has no options of its own.\n"
            "It accepts the standard options of every Qt program, such as \\fB\\-style\\fR \\fIname\\fR and\n"
            "\\fB\\-platform\\fR \\fIname\\fR.\n"
            ".SH ENVIRONMENT\n"
            ".TP\n.BR LANGUAGE \", \" LC_ALL \", \" LC_MESSAGES \", \" LANG\n"
            "choose the language of the windows (English or German).\n"
            "The status log and the reports are written in English in every language, as a record that people\n"
            "and scripts read alike.\n"
            ".SH FILES\n"
            ".TP\n.I ~/.config/Vellumar/Vellumar/presets/\n"
            "the saved presets, one JSON file each, and the last used settings\n"
            "(in \\fB$XDG_CONFIG_HOME\\fR instead of \\fI~/.config\\fR when that is set)\n"
            ".SH SEE ALSO\n"
            ".BR vellumar\\-batch (1)\n");
}

QString BashCompletion()
{
    QStringList names;
    QString cases;
    for (const TBatchOption &option : BatchOptionTable()) {
        names << QLatin1String(option.Name);
        switch (ValueCompletion(option)) {
        case TValueCompletion::None:
            break;
        case TValueCompletion::Word:
            // A number or text of the user's own: nothing to offer.
            cases += QStringLiteral("    %1) return ;;\n").arg(QLatin1String(option.Name));
            break;
        case TValueCompletion::Choice:
            cases += QStringLiteral("    %1) COMPREPLY=($(compgen -W %2 -- \"$cur\")); return ;;\n")
                         .arg(QLatin1String(option.Name), ShellQuoted(option.Choices.join(QLatin1Char(' '))));
            break;
        case TValueCompletion::File:
            cases += QStringLiteral("    %1) _filedir; return ;;\n").arg(QLatin1String(option.Name));
            break;
        }
    }
    return QStringLiteral("# bash completion for vellumar-batch                           -*- shell-script -*-\n"
                          "# Written from the program's options table.\n"
                          "\n"
                          "_vellumar_batch()\n"
                          "{\n"
                          "    local cur prev words cword\n"
                          "    _init_completion -s || return\n"
                          "\n"
                          "    case $prev in\n"
                          "%1"
                          "    esac\n"
                          "\n"
                          "    if [[ $cur == -* ]]; then\n"
                          "        COMPREPLY=($(compgen -W %2 -- \"$cur\"))\n"
                          "        return\n"
                          "    fi\n"
                          "    # SOURCE and DEST are folders; --merge-reports merges report files.\n"
                          "    if [[ \" ${words[*]} \" == *\" --merge-reports \"* ]]; then\n"
                          "        _filedir\n"
                          "    else\n"
                          "        _filedir -d\n"
                          "    fi\n"
                          "} &&\n"
                          "    complete -F _vellumar_batch vellumar-batch\n")
        .arg(cases, ShellQuoted(names.join(QLatin1Char(' '))));
}

QString ZshCompletion()
{
    QString entries;
    for (const TBatchOption &option : BatchOptionTable()) {
        // The explanation within [...]: a bracket or colon would end it or the zsh argument's next field.
        QString help = HelpLine(option);
        help.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
            .replace(QLatin1Char('['), QLatin1String("\\["))
            .replace(QLatin1Char(']'), QLatin1String("\\]"))
            .replace(QLatin1Char(':'), QLatin1String("\\:"));
        QString entry = QLatin1String(option.Name);
        if (option.Argument != nullptr)
            entry += QLatin1Char('='); // the value after "=" or as the next argument
        entry += QLatin1Char('[') + help + QLatin1Char(']');
        const QString argument = QLatin1String(option.Argument != nullptr ? option.Argument : "");
        switch (ValueCompletion(option)) {
        case TValueCompletion::None:
            break;
        case TValueCompletion::Word:
            entry += QLatin1Char(':') + argument + QStringLiteral(": ");
            break;
        case TValueCompletion::Choice:
            entry += QLatin1Char(':') + argument + QStringLiteral(":(") + option.Choices.join(QLatin1Char(' '))
                + QLatin1Char(')');
            break;
        case TValueCompletion::File:
            entry += QLatin1Char(':') + argument + QStringLiteral(":_files");
            break;
        }
        entries += QStringLiteral("  %1 \\\n").arg(ShellQuoted(entry));
    }
    return QStringLiteral("#compdef vellumar-batch\n"
                          "# Written from the program's options table.\n"
                          "\n"
                          "_arguments -S \\\n"
                          "%1"
                          "  '*:folder (or, after --merge-reports, report):_files'\n")
        .arg(entries);
}

QString FishCompletion()
{
    QString lines = QStringLiteral("# fish completion for vellumar-batch, written from the program's options table.\n");
    for (const TBatchOption &option : BatchOptionTable()) {
        QString line = QStringLiteral("complete -c vellumar-batch -l ") + BareName(option);
        switch (ValueCompletion(option)) {
        case TValueCompletion::None:
            break;
        case TValueCompletion::Word:
            line += QStringLiteral(" -x");
            break;
        case TValueCompletion::Choice:
            line += QStringLiteral(" -x -a ") + ShellQuoted(option.Choices.join(QLatin1Char(' ')));
            break;
        case TValueCompletion::File:
            line += QStringLiteral(" -r -F");
            break;
        }
        lines += line + QStringLiteral(" -d ") + ShellQuoted(HelpLine(option)) + QLatin1Char('\n');
    }
    return lines;
}

} // namespace vellumar
