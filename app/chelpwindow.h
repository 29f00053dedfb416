#pragma once

#include "res/stringtable.h"

#include <QDialog>
#include <QList>
#include <QRect>
#include <QString>

class QLineEdit;
class QListWidget;
class QTextBrowser;

// "Search Topics": the help topics delivered beside the program, one HTML file per topic, with
// an index that a filter narrows down to the topics whose title or text holds every word typed.
class CHelpWindow : public QDialog
{
    Q_OBJECT

public:
    struct Topic
    {
        QString title; // the page's <title>, else its file name
        QString path;
        QString text; // plain text, for the filter
    };

    explicit CHelpWindow(const QString &directory, QWidget *parent = nullptr);

    // The topics of a directory, ordered by file name (files start with a number for that).
    static QList<Topic> LoadTopics(const QString &directory);
    // Indexes of the topics that match every word of filter, case ignored; all for an empty one.
    static QList<int> FilterTopics(const QList<Topic> &topics, const QString &filter);
    // The help directory of an executable: its base name with "-help", beside it (not the base
    // name alone: that is the executable itself); for an installed program without one,
    // ../share/<base name>/help. The folder beside it when neither exists.
    static QString DirectoryFor(const QString &executablePath);
    // The topics of a language inside a help directory: its folder "en" or "ja", English when the
    // language has none, the help directory itself when it has no language folders.
    static QString TopicsDirectory(const QString &helpDirectory, StringLanguage language);
    // The help window's own size, and where it goes for a main window with this frame and menu
    // bar bottom (global coordinates): beside it where the screen has room, else over it below
    // its menu bar, always inside the screen.
    static constexpr QSize kSize{640, 480};
    static QRect PlaceFor(const QRect &mainFrame, int menuBarBottom, const QRect &screen,
                          QSize size = kSize);

    bool HasTopics() const { return !m_topics.isEmpty(); }
    void ShowTopic(int index);

private:
    void ApplyFilter();

    QList<Topic> m_topics;
    QLineEdit *m_filter = nullptr;
    QListWidget *m_index = nullptr;
    QTextBrowser *m_page = nullptr;
};
