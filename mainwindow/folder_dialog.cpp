#include "mainwindow/folder_dialog.h"

#include <filesystem>
#include <memory>
#include <system_error>

#include <QCompleter>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QStandardItemModel>
#include <QStyle>
#include <QTreeView>

#include "imaging/errors.h"
#include "version/app_metadata.h"

using namespace Qt::StringLiterals;

namespace vellumar
{

namespace
{

constexpr QChar kSeparator = u'/';
const QString kEllipsis = u"..."_s;
// TfrmFolderBrowse closes with this result when it made a folder and is to be opened again on it.
constexpr int kReopenResult = 2;

std::optional<QString> AskFolderName(QWidget *owner, const QString &caption)
{
    bool ok = false;
    const QString name = QInputDialog::getText(owner, caption, QString(), QLineEdit::Normal, QString(), &ok);
    if (!ok)
        return std::nullopt;
    return name;
}

// Primary language identifiers and, per language, the sublanguages of the territories known here.
struct TLanguage {
    const char *Code;
    int Primary;
    std::vector<std::pair<const char *, int>> Territories;
};

const std::vector<TLanguage> &Languages()
{
    static const std::vector<TLanguage> languages = {
        { "da", 0x06, { { "DK", 1 } } },
        { "de", 0x07, { { "DE", 1 }, { "CH", 2 }, { "AT", 3 }, { "LU", 4 }, { "LI", 5 } } },
        { "en",
            0x09,
            { { "US", 1 },
                { "GB", 2 },
                { "AU", 3 },
                { "CA", 4 },
                { "NZ", 5 },
                { "IE", 6 },
                { "ZA", 7 },
                { "JM", 8 },
                { "BZ", 10 },
                { "TT", 11 },
                { "ZW", 12 },
                { "PH", 13 },
                { "IN", 16 },
                { "MY", 17 },
                { "SG", 18 } } },
        { "es", 0x0A, { { "MX", 2 }, { "ES", 3 } } },
        { "fi", 0x0B, { { "FI", 1 } } },
        { "fr", 0x0C, { { "FR", 1 }, { "BE", 2 }, { "CA", 3 }, { "CH", 4 }, { "LU", 5 }, { "MC", 6 } } },
        { "it", 0x10, { { "IT", 1 }, { "CH", 2 } } },
        { "nl", 0x13, { { "NL", 1 }, { "BE", 2 } } },
        { "nb", 0x14, { { "NO", 1 } } },
        { "nn", 0x14, { { "NO", 2 } } },
        { "pt", 0x16, { { "BR", 1 }, { "PT", 2 } } },
        { "sv", 0x1D, { { "SE", 1 }, { "FI", 2 } } },
    };
    return languages;
}

} // namespace

QString ShortenPath(const QString &path, int limit)
{
    if (path.size() <= limit)
        return path;
    // The root part ("/", or a relative path's first component) stays; at least one more separator
    // must follow it, or there is nothing to leave out.
    const qsizetype rootEnd = path.indexOf(kSeparator);
    if (rootEnd < 0 || path.indexOf(kSeparator, rootEnd + 1) < 0)
        return path.left(limit);
    const QString head = path.left(rootEnd + 1) + kEllipsis;
    qsizetype tailStart = path.lastIndexOf(kSeparator);
    if (head.size() + (path.size() - tailStart) > limit)
        return (head + path.mid(tailStart)).left(limit - kEllipsis.size()) + kEllipsis;
    while (true) {
        const qsizetype previous = path.lastIndexOf(kSeparator, tailStart - 1);
        if (previous <= rootEnd || head.size() + (path.size() - previous) > limit)
            break;
        tailStart = previous;
    }
    return head + path.mid(tailStart);
}

const TCaptionTable &LabelCaptions()
{
    static const TCaptionTable table = {
        { u"Default"_s, u"Current folder:"_s },
        { u"0009"_s, u"Current folder:"_s },
        { u"0406"_s, u"Valgt mappe:"_s },
        { u"0407"_s, u"Ausgewählter Ordner:"_s },
        { u"0409"_s, u"Current folder:"_s },
        { u"0410"_s, u"Cartella selezionata:"_s },
        { u"0413"_s, u"Huidige map"_s },
        { u"0416"_s, u"Pasta Atual:"_s },
        { u"0807"_s, u"Ausgewählter Ordner:"_s },
        { u"0809"_s, u"Current folder:"_s },
        { u"0810"_s, u"Cartella selezionata:"_s },
        { u"0C07"_s, u"Ausgewählter Ordner:"_s },
        { u"0C09"_s, u"Current folder:"_s },
        { u"1007"_s, u"Ausgewählter Ordner:"_s },
        { u"1009"_s, u"Current folder:"_s },
        { u"1407"_s, u"Ausgewählter Ordner:"_s },
        { u"1409"_s, u"Current folder:"_s },
        { u"1809"_s, u"Current folder:"_s },
        { u"1C09"_s, u"Current folder:"_s },
        { u"2009"_s, u"Current folder:"_s },
        { u"2809"_s, u"Current folder:"_s },
        { u"2C09"_s, u"Current folder:"_s },
    };
    return table;
}

const TCaptionTable &NewFolderCaptions()
{
    static const TCaptionTable table = {
        { u"Default"_s, u"New folder"_s },
        { u"0009"_s, u"New folder"_s },
        { u"0406"_s, u"Ny mappe"_s },
        { u"0407"_s, u"Neuer Ordner"_s },
        { u"0409"_s, u"New folder"_s },
        { u"0410"_s, u"Nuova Cartella"_s },
        { u"0413"_s, u"Nieuwe map"_s },
        { u"0416"_s, u"Nova Pasta"_s },
        { u"0807"_s, u"Neuer Ordner"_s },
        { u"0809"_s, u"New folder"_s },
        { u"0810"_s, u"Nuova Cartella"_s },
        { u"0C07"_s, u"Neuer Ordner"_s },
        { u"0C09"_s, u"New folder"_s },
        { u"1007"_s, u"Neuer Ordner"_s },
        { u"1009"_s, u"New folder"_s },
        { u"1407"_s, u"Neuer Ordner"_s },
        { u"1409"_s, u"New folder"_s },
        { u"1809"_s, u"New folder"_s },
        { u"1C09"_s, u"New folder"_s },
        { u"2009"_s, u"New folder"_s },
        { u"2809"_s, u"New folder"_s },
        { u"2C09"_s, u"New folder"_s },
    };
    return table;
}

QString LookupCaption(const TCaptionTable &table, const QString &key)
{
    for (const QString &wanted : { key, u"Default"_s })
        for (const auto &[entryKey, text] : table)
            if (entryKey == wanted)
                return text;
    return table.empty() ? QString() : table.front().second;
}

QString LanguageKeyForLocaleName(const QString &localeName)
{
    // "de_CH.UTF-8@euro" and "de-CH" alike: the language, then the last part as the territory.
    QString name = localeName;
    name.truncate(name.indexOf(u'.') >= 0 ? name.indexOf(u'.') : name.size());
    name.truncate(name.indexOf(u'@') >= 0 ? name.indexOf(u'@') : name.size());
    const QStringList parts = name.split(QRegularExpression(u"[_-]"_s), Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return QString();
    const QString language = parts.front().toLower();
    const QString territory = parts.size() > 1 ? parts.back().toUpper() : QString();
    for (const TLanguage &entry : Languages()) {
        if (language != QLatin1StringView(entry.Code))
            continue;
        int sublanguage = 0;
        for (const auto &[code, id] : entry.Territories)
            if (territory == QLatin1StringView(code))
                sublanguage = id;
        return u"%1"_s.arg(entry.Primary | (sublanguage << 10), 4, 16, QLatin1Char('0')).toUpper();
    }
    return QString();
}

QString SystemLanguageKey()
{
    return LanguageKeyForLocaleName(QLocale::system().name());
}

// The folders under "/" and the user's home, listed when a folder is first expanded or walked through.
class TfrmFolderBrowse::TFolderTreeModel : public QStandardItemModel
{
public:
    static constexpr int kPathRole = Qt::UserRole + 1;
    static constexpr int kListedRole = Qt::UserRole + 2;

    TFolderTreeModel(QObject *parent, const QStyle *style, const QStringList &shownHidden)
        : QStandardItemModel(parent)
        , mFolderIcon(style->standardIcon(QStyle::SP_DirIcon))
        , mShownHidden(shownHidden)
    {
        appendRow(MakeItem(u"/"_s, u"/"_s, style->standardIcon(QStyle::SP_DriveHDIcon)).release());
        const QString home = QDir::cleanPath(QDir::homePath());
        if (home != u"/"_s && QFileInfo(home).isDir())
            appendRow(MakeItem(home, home, style->standardIcon(QStyle::SP_DirHomeIcon)).release());
    }

    bool hasChildren(const QModelIndex &parent) const override
    {
        // Unlisted folders offer an expander; listing removes it from folders without subfolders.
        if (parent.isValid() && !parent.data(kListedRole).toBool())
            return true;
        return QStandardItemModel::hasChildren(parent);
    }
    bool canFetchMore(const QModelIndex &parent) const override
    {
        return parent.isValid() && !parent.data(kListedRole).toBool();
    }
    void fetchMore(const QModelIndex &parent) override
    {
        if (parent.isValid())
            List(itemFromIndex(parent));
    }

    /**
     * The item of an absolute, clean folder path; nullptr when the tree does not show it. With
     * revealHidden, a hidden folder on the way is added to the tree so that it can be highlighted.
     */
    QStandardItem *Locate(const QString &path, bool revealHidden)
    {
        QStandardItem *best = nullptr;
        QString bestRoot;
        for (int row = 0; row < rowCount(); ++row) {
            const QString root = item(row)->data(kPathRole).toString();
            const QString prefix = root.endsWith(kSeparator) ? root : root + kSeparator;
            if ((path == root || path.startsWith(prefix)) && root.size() > bestRoot.size()) {
                best = item(row);
                bestRoot = prefix;
            }
        }
        if (best == nullptr || path == best->data(kPathRole).toString())
            return best;
        const QStringList components = path.mid(bestRoot.size()).split(kSeparator, Qt::SkipEmptyParts);
        QStandardItem *current = best;
        for (const QString &component : components) {
            List(current);
            QStandardItem *next = nullptr;
            for (int row = 0; row < current->rowCount() && next == nullptr; ++row)
                if (current->child(row)->text() == component)
                    next = current->child(row);
            if (next == nullptr && revealHidden && component.startsWith(u'.')) {
                const QString parentPath = current->data(kPathRole).toString();
                const QString childPath =
                    (parentPath.endsWith(kSeparator) ? parentPath : parentPath + kSeparator) + component;
                if (QFileInfo(childPath).isDir()) {
                    next = MakeItem(component, childPath, mFolderIcon).release();
                    current->appendRow(next);
                }
            }
            if (next == nullptr)
                return nullptr;
            current = next;
        }
        return current;
    }

private:
    static std::unique_ptr<QStandardItem> MakeItem(const QString &text, const QString &path, const QIcon &icon)
    {
        auto item = std::make_unique<QStandardItem>(icon, text);
        item->setEditable(false);
        item->setData(path, kPathRole);
        item->setToolTip(path);
        return item;
    }

    void List(QStandardItem *parent)
    {
        if (parent->data(kListedRole).toBool())
            return;
        parent->setData(true, kListedRole);
        const QString path = parent->data(kPathRole).toString();
        const QString prefix = path.endsWith(kSeparator) ? path : path + kSeparator;
        // Dot-folders stay out of the tree, except those made in this dialog.
        const QFileInfoList entries = QDir(path).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden,
            QDir::Name | QDir::IgnoreCase | QDir::LocaleAware);
        for (const QFileInfo &entry : entries)
            if (!entry.isHidden() || mShownHidden.contains(prefix + entry.fileName()))
                parent->appendRow(MakeItem(entry.fileName(), prefix + entry.fileName(), mFolderIcon).release());
    }

    QIcon mFolderIcon;
    QStringList mShownHidden;
};

TfrmFolderBrowse::TfrmFolderBrowse(QWidget *owner,
    const QString &caption,
    const QString &prompt,
    const QString &newFolderCaption,
    TNameInput nameInput,
    const QStringList &shownHidden)
    : QDialog(owner)
    , mNewFolderCaption(newFolderCaption)
    , mNameInput(nameInput ? std::move(nameInput) : TNameInput(AskFolderName))
{
    setWindowTitle(caption.isEmpty() ? QString::fromLatin1(kAppTitle) : caption);
    mModel = new TFolderTreeModel(this, style(), shownHidden);
    mPrompt = new QLabel(prompt, this);
    mPrompt->setObjectName(u"lblPrompt"_s);
    mStatus = new QLabel(this);
    mStatus->setObjectName(u"lblStatus"_s);
    // Room for a shortened path of 50 characters; a highlighted path never resizes the window.
    mStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    mStatus->setMinimumWidth(mStatus->fontMetrics().averageCharWidth() * 50);
    auto *pathLabel = new QLabel(u"&Path:"_s, this);
    mPath = new QLineEdit(this);
    mPath->setObjectName(u"ebPath"_s);
    mPath->setToolTip(u"Type or paste a folder's path; the tree follows"_s);
    pathLabel->setBuddy(mPath);
    // Completion offers the folders of what is typed, as a file manager's location bar does.
    auto *folders = new QFileSystemModel(this);
    folders->setFilter(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Drives);
    folders->setRootPath(u"/"_s);
    auto *completer = new QCompleter(folders, this);
    completer->setCaseSensitivity(Qt::CaseSensitive);
    mPath->setCompleter(completer);
    mTree = new QTreeView(this);
    mTree->setObjectName(u"tvFolders"_s);
    mTree->setAccessibleName(u"Folders"_s);
    mTree->setModel(mModel);
    mTree->setHeaderHidden(true);
    // Long names are scrolled to, never cut.
    mTree->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    mTree->header()->setStretchLastSection(false);
    mTree->setUniformRowHeights(true);
    mTree->setSelectionMode(QAbstractItemView::SingleSelection);
    mTree->setEditTriggers(QAbstractItemView::NoEditTriggers);

    mNewFolder = new QPushButton(newFolderCaption, this);
    mNewFolder->setObjectName(u"btnNewFolder"_s);
    mNewFolder->setAutoDefault(false);
    mNewFolder->setEnabled(false);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    mOk = buttons->button(QDialogButtonBox::Ok);
    mCancel = buttons->button(QDialogButtonBox::Cancel);

    auto *layout = new QGridLayout(this);
    layout->addWidget(mPrompt, 0, 0, 1, 2);
    layout->addWidget(mStatus, 1, 0, 1, 2);
    auto *pathRow = new QHBoxLayout;
    pathRow->addWidget(pathLabel);
    pathRow->addWidget(mPath, 1);
    layout->addLayout(pathRow, 2, 0, 1, 2);
    layout->addWidget(mTree, 3, 0, 1, 2);
    layout->addWidget(mNewFolder, 4, 0, Qt::AlignLeft);
    layout->addWidget(buttons, 4, 1, Qt::AlignRight);
    layout->setRowStretch(3, 1);
    setMinimumSize(380, 440);
    resize(380, 440);
    setSizeGripEnabled(true);
    ConnectHandlers();
}

TfrmFolderBrowse::~TfrmFolderBrowse() = default;

void TfrmFolderBrowse::ConnectHandlers()
{
    connect(mTree->selectionModel(),
        &QItemSelectionModel::selectionChanged,
        this,
        &TfrmFolderBrowse::tvFoldersSelectionChanged);
    connect(mNewFolder, &QPushButton::clicked, this, &TfrmFolderBrowse::btnNewFolderClick);
    connect(mOk, &QPushButton::clicked, this, &TfrmFolderBrowse::btnOkClick);
    connect(mPath, &QLineEdit::textEdited, this, &TfrmFolderBrowse::ebPathChange);
    connect(mCancel, &QPushButton::clicked, this, &QDialog::reject);
}

bool TfrmFolderBrowse::SelectPath(const QString &path, bool revealHidden)
{
    const QString target = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    QStandardItem *item = path.isEmpty() || !QFileInfo(target).isDir() ? nullptr : mModel->Locate(target, revealHidden);
    if (item == nullptr) {
        mTree->selectionModel()->clear();
        return false;
    }
    const QModelIndex index = item->index();
    for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent())
        mTree->expand(parent);
    mTree->setCurrentIndex(index);
    mTree->scrollTo(index, QAbstractItemView::PositionAtCenter);
    return true;
}

QString TfrmFolderBrowse::HighlightedPath() const
{
    const QModelIndexList selected = mTree->selectionModel()->selectedIndexes();
    return selected.isEmpty() ? QString() : selected.front().data(TFolderTreeModel::kPathRole).toString();
}

QString TfrmFolderBrowse::PromptText() const
{
    return mPrompt->text();
}

QString TfrmFolderBrowse::StatusText() const
{
    return mStatus->text();
}

void TfrmFolderBrowse::tvFoldersSelectionChanged()
{
    const QString path = HighlightedPath();
    mStatus->setText(ShortenPath(path));
    mNewFolder->setEnabled(!path.isEmpty());
    if (!mFollowingTree)
        mPath->setText(path);
}

namespace
{

// A typed path as a folder: "~" is the home folder, a relative path is taken from the working folder.
QString TypedFolder(const QString &text)
{
    QString path = text.trimmed();
    if (path == u"~"_s || path.startsWith(u"~/"_s))
        path = QDir::homePath() + path.mid(1);
    return path.isEmpty() ? QString() : QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

} // namespace

void TfrmFolderBrowse::ebPathChange()
{
    // The tree highlights the typed folder as soon as it exists; the text stays as typed.
    const QString folder = TypedFolder(mPath->text());
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return;
    mFollowingTree = true;
    SelectPath(folder, true);
    mFollowingTree = false;
}

void TfrmFolderBrowse::btnNewFolderClick()
{
    const QString parent = HighlightedPath();
    if (parent.isEmpty())
        return;
    const std::optional<QString> name = mNameInput(this, mNewFolderCaption);
    if (!name || name->trimmed().isEmpty())
        return;
    const QString target = QDir::cleanPath(parent + kSeparator + name->trimmed());
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(QFile::encodeName(target).toStdString()), error);
    if (!error && !QFileInfo(target).isDir())
        error = std::make_error_code(std::errc::not_a_directory);
    if (error) {
        QMessageBox::warning(this,
            mNewFolderCaption,
            WrapMessage("Cannot create folder ", target, std::system_error(error)),
            QMessageBox::Ok);
        return;
    }
    mCreatedFolder = target;
    done(kReopenResult);
}

void TfrmFolderBrowse::btnOkClick()
{
    // A typed path that names no folder keeps the dialog open, so the typing is not lost.
    if (const QString typed = TypedFolder(mPath->text()); !typed.isEmpty() && typed != HighlightedPath()) {
        if (!QFileInfo(typed).isDir() || !SelectPath(typed, true)) {
            QMessageBox::warning(this, windowTitle(), u"There is no folder %1"_s.arg(typed), QMessageBox::Ok);
            return;
        }
    }
    if (HighlightedPath().isEmpty())
        reject();
    else
        accept();
}

TFolderDialog::TFolderDialog()
    : mLanguageKey(SystemLanguageKey())
{
}

QString TFolderDialog::PromptText() const
{
    return LookupCaption(LabelCaptions(), mLanguageKey);
}

QString TFolderDialog::NewFolderCaption() const
{
    return LookupCaption(NewFolderCaptions(), mLanguageKey);
}

std::optional<QString> TFolderDialog::Execute(QWidget *owner, const QString &caption)
{
    QString highlight = mRemembered;
    while (true) {
        TfrmFolderBrowse window(owner, caption, PromptText(), NewFolderCaption(), mNameInput, mMadeFolders);
        if (mSize.isValid())
            window.resize(mSize);
        // The folder just made (or last accepted) is highlighted even when its name hides it.
        window.SelectPath(highlight, true);
        const QScreen *screen = owner != nullptr ? owner->screen() : QGuiApplication::primaryScreen();
        if (screen != nullptr)
            window.move(screen->availableGeometry().center() - window.rect().center());
        const int result = window.exec();
        mSize = window.size();
        if (!window.CreatedFolder().isEmpty()) {
            // A made folder is remembered even if the user then cancels.
            mRemembered = highlight = window.CreatedFolder();
            mMadeFolders << window.CreatedFolder();
            continue;
        }
        if (result != QDialog::Accepted)
            return std::nullopt;
        mRemembered = window.HighlightedPath();
        return mRemembered;
    }
}

} // namespace vellumar
