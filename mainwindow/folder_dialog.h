#pragma once

#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include <QDialog>
#include <QSize>
#include <QString>
#include <QStringList>

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeView;

namespace vellumar
{

/**
 * A path as the folder dialog's status line shows it: whole up to limit characters; otherwise the
 * leading "/" (or the text up to the first "/" of a relative path), "...", "/" and as many of the last
 * components as fit, or, when even the last one does not fit, that result cut to limit - 3 characters
 * plus "...". A long path with fewer than two separators is cut to its first limit characters.
 */
[[nodiscard]] QString ShortenPath(const QString &path, int limit = 50);

/** A caption table: language key (four upper-case hex digits, or "Default") and text, in order. */
using TCaptionTable = std::vector<std::pair<QString, QString>>;

/** The prompt above the folder tree, by language. */
[[nodiscard]] const TCaptionTable &LabelCaptions();
/** The caption of the new-folder button and of its input box, by language. */
[[nodiscard]] const TCaptionTable &NewFolderCaptions();

/** The entry for key; else the "Default" entry; else the first entry; empty for an empty table. */
[[nodiscard]] QString LookupCaption(const TCaptionTable &table, const QString &key);

/**
 * The platform's language identifier (primary language | sublanguage << 10) of a locale, as four
 * upper-case hex digits: en_GB gives "0809". A name without a territory ("en") gives the primary
 * identifier alone ("0009"); a language this table does not know gives an empty key, which the
 * caption lookup answers with its "Default" entry.
 */
[[nodiscard]] QString LanguageKeyForLocaleName(const QString &localeName);
/** LanguageKeyForLocaleName of the system's default locale. */
[[nodiscard]] QString SystemLanguageKey();

/**
 * One opening of the folder-browse dialog: the prompt, a status line with the highlighted folder's
 * shortened path, a path field (typed or pasted, with completion), the folder tree under "/" and the
 * user's home, a new-folder button, OK and Cancel. It may grow; its first size is its smallest.
 */
class TfrmFolderBrowse : public QDialog
{
    Q_OBJECT
public:
    /** Asks for a new folder's name: owner and caption; nullopt when cancelled. */
    using TNameInput = std::function<std::optional<QString>(QWidget *owner, const QString &caption)>;

    TfrmFolderBrowse(QWidget *owner,
        const QString &caption,
        const QString &prompt,
        const QString &newFolderCaption,
        TNameInput nameInput,
        const QStringList &shownHidden = {});
    ~TfrmFolderBrowse() override;

    /**
     * Highlights an existing folder shown in the tree; false (and nothing highlighted) otherwise. With
     * revealHidden, hidden folders on the way are shown too.
     */
    bool SelectPath(const QString &path, bool revealHidden = false);
    /** The highlighted folder's absolute path, without a trailing separator except "/"; empty if none. */
    [[nodiscard]] QString HighlightedPath() const;
    [[nodiscard]] QString PromptText() const;
    [[nodiscard]] QString StatusText() const;
    [[nodiscard]] QPushButton *NewFolderButton() const { return mNewFolder; }
    [[nodiscard]] QPushButton *OkButton() const { return mOk; }
    [[nodiscard]] QPushButton *CancelButton() const { return mCancel; }
    [[nodiscard]] QLineEdit *PathField() const { return mPath; }
    /** The folder made by the new-folder button; the dialog then closes so that it reopens on it. */
    [[nodiscard]] QString CreatedFolder() const { return mCreatedFolder; }

private:
    class TFolderTreeModel;

    void ConnectHandlers();
    void tvFoldersSelectionChanged();
    void btnNewFolderClick();
    void btnOkClick();
    void ebPathChange();

    QString mNewFolderCaption;
    TNameInput mNameInput;
    QString mCreatedFolder;
    TFolderTreeModel *mModel = nullptr;
    QLabel *mPrompt = nullptr;
    QLabel *mStatus = nullptr;
    QLineEdit *mPath = nullptr;
    // Set while the field follows the tree, so that the tree does not follow the field back.
    bool mFollowingTree = false;
    QTreeView *mTree = nullptr;
    QPushButton *mNewFolder = nullptr;
    QPushButton *mOk = nullptr;
    QPushButton *mCancel = nullptr;
};

/**
 * The folder-browse dialog object of the main window: one object serves every folder button and
 * remembers the folder last accepted (or created) in it, whichever button opened it.
 */
class TFolderDialog
{
public:
    /** The input box of the new-folder button; by default QInputDialog. */
    using TNameInput = TfrmFolderBrowse::TNameInput;

    TFolderDialog();

    /**
     * Shows the dialog modally, captioned caption (the program's title when empty), centred on the screen,
     * with the remembered folder highlighted when it still exists. Returns the accepted folder (absolute,
     * no trailing separator except "/"), or nullopt on Cancel, on closing, and on OK with nothing
     * highlighted. Its size is kept from one opening to the next.
     */
    std::optional<QString> Execute(QWidget *owner, const QString &caption = {});

    [[nodiscard]] QString Remembered() const { return mRemembered; }
    void SetRemembered(const QString &path) { mRemembered = path; }

    /** The key of the caption tables; the system's language by default. */
    void SetLanguageKey(const QString &key) { mLanguageKey = key; }
    [[nodiscard]] QString PromptText() const;
    [[nodiscard]] QString NewFolderCaption() const;

    void SetNameInput(TNameInput nameInput) { mNameInput = std::move(nameInput); }

private:
    QString mRemembered;
    // Folders made in the dialog stay in its tree even when their names hide them.
    QStringList mMadeFolders;
    QSize mSize;
    QString mLanguageKey;
    TNameInput mNameInput;
};

} // namespace vellumar
