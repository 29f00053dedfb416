#include "app/chelpwindow.h"

#include "dialogs/itemroles.h"
#include "res/stringids.h"
#include "res/stringtable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <QSplitter>
#include <QTextBrowser>
#include <QTextDocument>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

using namespace Qt::StringLiterals;

QString CHelpWindow::DirectoryFor(const QString &executablePath)
{
    const QFileInfo executable(executablePath);
    const QString beside = executable.dir().filePath(executable.completeBaseName() + u"-help"_s);
    if (QFileInfo(beside).isDir())
        return beside;
    // An installed program keeps its data apart: /usr/bin/lumarin, /usr/share/lumarin/help.
    const QString installed = QDir::cleanPath(
        executable.dir().filePath(u"../share/"_s + executable.completeBaseName() + u"/help"_s));
    return QFileInfo(installed).isDir() ? installed : beside;
}

QString CHelpWindow::TopicsDirectory(const QString &helpDirectory, StringLanguage language)
{
    const QDir dir(helpDirectory);
    const QString wanted = language == StringLanguage::Japanese ? u"ja"_s : u"en"_s;
    for (const QString &name : {wanted, u"en"_s}) {
        if (QFileInfo(dir.filePath(name)).isDir())
            return dir.filePath(name);
    }
    return helpDirectory;
}

QRect CHelpWindow::PlaceFor(const QRect &mainFrame, int menuBarBottom, const QRect &screen,
                            QSize size)
{
    size = size.boundedTo(screen.size());
    QRect place(QPoint(), size);
    if (screen.right() - mainFrame.right() >= size.width()) {
        place.moveTopLeft(QPoint(mainFrame.right() + 1, mainFrame.top()));
    } else if (mainFrame.left() - screen.left() >= size.width()) {
        place.moveTopLeft(QPoint(mainFrame.left() - size.width(), mainFrame.top()));
    } else {
        // Over the main window, its menu bar left free, and no taller than the screen allows.
        place.moveTopLeft(QPoint(mainFrame.right() + 1 - size.width(), menuBarBottom + 1));
        place.setBottom(std::min(place.bottom(), screen.bottom()));
    }
    // Inside the screen, where the rules above could not keep it.
    place.moveLeft(std::clamp(place.left(), screen.left(), screen.right() + 1 - place.width()));
    place.moveTop(std::clamp(place.top(), screen.top(), screen.bottom() + 1 - place.height()));
    return place;
}

QList<CHelpWindow::Topic> CHelpWindow::LoadTopics(const QString &directory)
{
    QList<Topic> topics;
    const QDir dir(directory);
    const QStringList files = dir.entryList({u"*.html"_s}, QDir::Files, QDir::Name);
    static const QRegularExpression titlePattern(
        u"<title>(.*?)</title>"_s,
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    for (const QString &name : files) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QString html = QString::fromUtf8(file.readAll());
        Topic topic;
        topic.path = file.fileName();
        const QRegularExpressionMatch match = titlePattern.match(html);
        topic.title = match.hasMatch() ? match.captured(1).simplified() : name;
        QTextDocument document;
        document.setHtml(html);
        topic.text = document.toPlainText();
        topics.append(topic);
    }
    return topics;
}

QList<int> CHelpWindow::FilterTopics(const QList<Topic> &topics, const QString &filter)
{
    const QStringList words = filter.split(u' ', Qt::SkipEmptyParts);
    QList<int> shown;
    for (int i = 0; i < topics.size(); ++i) {
        const Topic &topic = topics[i];
        const bool matches = std::all_of(words.cbegin(), words.cend(), [&topic](const QString &w) {
            return topic.title.contains(w, Qt::CaseInsensitive) ||
                   topic.text.contains(w, Qt::CaseInsensitive);
        });
        if (matches)
            shown.append(i);
    }
    return shown;
}

CHelpWindow::CHelpWindow(const QString &directory, QWidget *parent)
    : QDialog(parent), m_topics(LoadTopics(directory))
{
    setObjectName(u"helpWindow"_s);
    setWindowTitle(LoadString(STR_HELP_TITLE));
    setAccessibleName(windowTitle());
    resize(kSize);

    m_filter = new QLineEdit(this);
    m_filter->setObjectName(u"helpFilter"_s);
    m_filter->setPlaceholderText(LoadString(STR_HELP_FILTER));
    m_filter->setAccessibleName(LoadString(STR_HELP_FILTER));
    m_filter->setClearButtonEnabled(true);
    m_index = new QListWidget(this);
    m_index->setObjectName(u"helpIndex"_s);
    m_index->setAccessibleName(LoadString(STR_HELP_TITLE));
    m_page = new QTextBrowser(this);
    m_page->setObjectName(u"helpPage"_s);
    m_page->setAccessibleName(LoadString(STR_HELP_TITLE));
    m_page->setSearchPaths({directory});
    m_page->setOpenExternalLinks(true);

    auto *left = new QWidget(this);
    auto *leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(m_filter);
    leftLayout->addWidget(m_index);
    auto *splitter = new QSplitter(this);
    splitter->addWidget(left);
    splitter->addWidget(m_page);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({190, kSize.width() - 190});
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(splitter);

    connect(m_filter, &QLineEdit::textChanged, this, &CHelpWindow::ApplyFilter);
    connect(m_index, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0)
            ShowTopic(m_index->item(row)->data(ROLE_HELP_TOPIC).toInt());
    });
    ApplyFilter();
    if (m_index->count() > 0)
        m_index->setCurrentRow(0);
}

void CHelpWindow::ApplyFilter()
{
    m_index->clear();
    for (const int i : FilterTopics(m_topics, m_filter->text())) {
        auto *item = new QListWidgetItem(m_topics[i].title, m_index);
        item->setData(ROLE_HELP_TOPIC, i);
    }
}

void CHelpWindow::ShowTopic(int index)
{
    if (index >= 0 && index < m_topics.size())
        m_page->setSource(QUrl::fromLocalFile(m_topics[index].path));
}
