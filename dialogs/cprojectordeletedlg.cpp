#include "dialogs/cprojectordeletedlg.h"

#include "dialogs/editdialogparts.h"
#include "model/projectornode.h"
#include "res/stringids.h"
#include "res/stringtable.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

CProjectorDeleteDlg::CProjectorDeleteDlg(const std::vector<ProjectorNode *> &nodes, QWidget *parent)
    : QDialog(parent), m_nodes(nodes), m_strQuestion(BuildQuestion(nodes))
{
    setObjectName(QString::number(IDD_PROJECTOR_DELETE));
    setWindowTitle(LoadString(TXT_DELETE));
    setAccessibleName(windowTitle());
    setModal(true);

    QLabel *question = MakeEditLabel(m_strQuestion, QString::number(IDC_DELETE_QUESTION), this);
    question->setWordWrap(true);
    question->setTextFormat(Qt::PlainText);

    QPushButton *ok = MakeEditButton(TXT_OK, QString::number(IDOK), this);
    QPushButton *cancel = MakeEditButton(TXT_CANCEL, QString::number(IDCANCEL), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CProjectorDeleteDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CProjectorDeleteDlg::reject);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(question);
    layout->addLayout(buttons);
}

QString CProjectorDeleteDlg::BuildQuestion(const std::vector<ProjectorNode *> &nodes)
{
    if (nodes.size() == 1 && nodes.front()) {
        const ProjectorNode *node = nodes.front();
        const int id = node->IsProjector() ? MSG_REMOVE_PROJECTOR : MSG_REMOVE_GROUP;
        return FormatText(LoadString(id), {ShortNodeName(node->GetName())});
    }
    return LoadString(MSG_REMOVE_ITEMS);
}
