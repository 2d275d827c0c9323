#include "app/MainDialog.h"

#include "app/AboutBox.h"
#include "app/CommandButton.h"
#include "app/SplashWindow.h"
#include "core/ExePath.h"
#include "core/MessageCatalogue.h"
#include "core/UiLanguage.h"

#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QFontInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QTreeWidget>
#include <QUrl>
#include <cstring>

namespace zelvo {

namespace {

// The window's font stands in for "ＭＳ ゴシック" 9 pt, which a Linux desktop does not
// have: a Gothic face that holds the Latin letters and all of Japanese.
constexpr const char* kDialogFontFamily = "Noto Sans CJK JP";
constexpr int kDialogFontPoints = 9;
constexpr int kFirstTickMs = 200;

QFont DialogFont()
{
    QFont font(QString::fromLatin1(kDialogFontFamily));
    font.setFamilies({QString::fromLatin1(kDialogFontFamily)});
    font.setPointSize(kDialogFontPoints);
    font.setWeight(QFont::Normal);
    return font;
}

DialogBaseUnits BaseUnitsOf(const QFont& font)
{
    const QFontMetrics metrics(font);
    const int alphabet = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {BaseUnitXFromAlphabetWidth(alphabet), metrics.height()};
}

// The desktop's general font at the list's height. Japanese names and headers fall
// back to the CJK face, never to whichever face fontconfig happens to pick for Han.
QFont ListFont(bool japanese)
{
    const QFont general = QApplication::font();
    QFont font(general);
    font.setFamilies({general.family(), QString::fromLatin1(kDialogFontFamily)});
    font.setPixelSize(ListFontPixelHeight(japanese, QFontInfo(general).pixelSize()));
    font.setWeight(QFont::Normal);
    return font;
}

QString FieldText(const char (&field)[DeviceRecord::kTextBytes])
{
    return QString::fromUtf8(field, static_cast<qsizetype>(strnlen(field, sizeof field)));
}

} // namespace

MainDialog::MainDialog(QWidget* parent, MainDialogServices services, DialogState started,
                       StartupResult startup, WindowCommands& commands)
    : QDialog(parent), m_services(std::move(services)),
      m_urls(m_services.urls, m_services.runningAsRoot,
             [this](const std::string& url) {
                 m_services.boxes.Show(BrowserRefusedText(m_state.language, url),
                                       MessageIcon::Exclamation, MessageButtons::Ok);
             }),
      m_commands(commands), m_state(std::move(started))
{
    RegisterWindowImages();
    setObjectName(QStringLiteral("MainDialog"));

    m_listFont = ListFont(Japanese());
    setWindowIcon(QIcon(QStringLiteral(":/images/icon.png")));

    // A fixed-size application window: no maximise button, no resizing.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle(QString::fromUtf8(MainWindowCaption()));
    setFont(DialogFont());
    m_baseUnits = BaseUnitsOf(font());
    const DialogRect client =
        DialogUnitsToPixels({0, 0, kMainClientWidthDlu, kMainClientHeightDlu}, m_baseUnits);
    setFixedSize(client.w, client.h);
    CreateControls();

    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &MainDialog::OnTimer);

    // F1 alone; Shift, Ctrl or Alt with it is another key.
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    help->setContext(Qt::WindowShortcut);
    connect(help, &QShortcut::activated, this, &MainDialog::OpenHelp);

    Initialise(startup);
}

MainDialog::~MainDialog() = default;

bool MainDialog::Japanese() const
{
    return zelvo::IsJapanese(m_state.language);
}

void MainDialog::PlaceControl(QWidget* widget, int id)
{
    const DialogRect r = DialogUnitsToPixels(MainControlRect(id), m_baseUnits);
    widget->setGeometry(r.x, r.y, r.w, r.h);
    m_controls.insert(id, widget);
}

CommandButton* MainDialog::AddButton(int id)
{
    auto* button = new CommandButton(id, QString::fromUtf8(ControlCreationText(id)), this);
    PlaceControl(button, id);
    connect(button, &QPushButton::clicked, this, [this, id] { OnCommand(id); });
    return button;
}

void MainDialog::CreateControls()
{
    // The frame first, so that it lies under the check box and its label.
    auto* group = new QGroupBox(this);
    group->setObjectName(QStringLiteral("group%1").arg(kIdEnableSetIpGroup));
    PlaceControl(group, kIdEnableSetIpGroup);

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("list%1").arg(kIdList));
    PlaceControl(m_list, kIdList);

    for (int id : {kIdSearch, kIdWebTool, kIdSetIp, kIdBackup, kIdRestore, kIdFwUpdate, kIdExit})
        AddButton(id);

    m_enableSetIp = new QCheckBox(this);
    m_enableSetIp->setObjectName(QStringLiteral("check%1").arg(kIdEnableSetIp));
    PlaceControl(m_enableSetIp, kIdEnableSetIp);
    // The box has ticked itself (or cleared) by the time the click arrives here.
    connect(m_enableSetIp, &QCheckBox::clicked, this, [this] { OnCommand(kIdEnableSetIp); });

    auto* label = new QLabel(QString::fromUtf8(ControlCreationText(kIdEnableSetIpLabel)), this);
    label->setObjectName(QStringLiteral("label%1").arg(kIdEnableSetIpLabel));
    PlaceControl(label, kIdEnableSetIpLabel);

    m_list->installEventFilter(this);
    m_list->viewport()->installEventFilter(this);
}

void MainDialog::SetUpList()
{
    m_list->setFont(m_listFont);
    m_list->setRootIsDecorated(false);
    m_list->setItemsExpandable(false);
    m_list->setUniformRowHeights(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setAllColumnsShowFocus(true);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setSortingEnabled(false);
    m_list->header()->setStretchLastSection(false);
    m_list->header()->setSectionsMovable(false);

    // The selection stays visible while another control has the focus.
    QPalette palette = m_list->palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    m_list->setPalette(palette);

    const bool japanese = Japanese();
    QStringList headers;
    for (int column = 0; column < 4; ++column)
        headers << QString::fromUtf8(ColumnHeader(column, japanese));
    m_list->setHeaderLabels(headers);
    for (int column = 0; column < 4; ++column)
        m_list->headerItem()->setTextAlignment(column, Qt::AlignLeft | Qt::AlignVCenter);

    // The columns fill the list's client width, less room for a vertical scroll bar.
    const int scrollBar = m_list->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr,
                                                       m_list->verticalScrollBar());
    const int usable = m_list->width() - 2 * m_list->frameWidth() - scrollBar;
    const std::array<int, 4> widths = ListColumnWidths(usable);
    for (int column = 0; column < 4; ++column)
        m_list->setColumnWidth(column, widths[static_cast<size_t>(column)]);
}

void MainDialog::Initialise(StartupResult startup)
{
    // Centred from the start, also when the initialisation ends early below.
    CentreOnScreen();
    const bool japanese = Japanese();
    m_state.title = TitleText(japanese);
    m_helpFile = HelpFileName(japanese);

    if (m_banner.load(QStringLiteral(":/images/banner.png"))) {
        const BannerOrigin origin =
            BannerPosition(width(), height(), qRound(m_banner.deviceIndependentSize().width()));
        m_bannerOrigin = QPoint(origin.x, origin.y);
    }

    const char* aboutText = MessageCatalogue::Text(101);
    m_aboutItemText = aboutText ? QString::fromUtf8(aboutText) : QString();

    SetUpList();

    for (int id : {kIdSearch, kIdWebTool, kIdBackup, kIdRestore, kIdFwUpdate, kIdExit}) {
        if (auto* button = qobject_cast<QPushButton*>(Control(id)))
            button->setText(QString::fromUtf8(ControlCaption(id, japanese)));
    }
    if (auto* label = qobject_cast<QLabel*>(Control(kIdEnableSetIpLabel)))
        label->setText(QString::fromUtf8(ControlCaption(kIdEnableSetIpLabel, japanese)));

    auto button = [this](int id) { return static_cast<CommandButton*>(Control(id)); };
    if (m_state.m_bSetIpLayout == 0) {
        button(kIdWebTool)->SetDefault(true);
        for (int id : {kIdEnableSetIpLabel, kIdSetIp, kIdEnableSetIp, kIdEnableSetIpGroup})
            Control(id)->hide();
    } else {
        for (int id : {kIdWebTool, kIdEnableSetIpLabel, kIdEnableSetIpGroup, kIdEnableSetIp})
            Control(id)->hide();
        button(kIdSetIp)->SetDefault(true);
    }
    // FW Update, told last, stays the command that Enter gives.
    for (int id : {kIdSearch, kIdExit, kIdRestore, kIdBackup, kIdFwUpdate})
        button(id)->SetDefault(true);

    // Back up and Restore stay enabled: without a listed unit their commands do nothing.
    // Only a PC without a MAC (below) starts with them disabled.
    EnableControl(kIdSetIp, false);
    ShowRow(0, m_state.devices.rows[0]);
    // The first tick posts the first search once the window's own loop runs.
    m_timer.start(kFirstTickMs);

    if (startup == StartupResult::NetworkUnusable)
        return; // the user has been told; the window stays as it is now
    if (m_state.NoHostMac) {
        for (int id : {kIdBackup, kIdRestore, kIdSearch, kIdSetIp, kIdEnableSetIp})
            EnableControl(id, false);
    } else {
        EnableControl(kIdEnableSetIp, false);
    }
}

void MainDialog::CentreOnScreen()
{
    if (QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
}

void MainDialog::OnTimer()
{
    // One tick only: it starts the first search once the window's loop runs.
    if (m_state.firstTick) {
        m_state.firstTick = 0;
        PostCommand(kIdFirstSearchCommand);
    }
}

void MainDialog::PostCommand(int id)
{
    QMetaObject::invokeMethod(
        this, [this, id] { OnCommand(id); }, Qt::QueuedConnection);
}

void MainDialog::OnCommand(int id)
{
    if (id == kIdExit) {
        reject();
        return;
    }
    if (id == kIdEnableSetIp) {
        OnEnableSetIpClicked();
        return;
    }
    // One operation at a time: while one runs, its progress passes keep this window's
    // events flowing, and every other command must find the door shut.
    if (m_state.m_bBusy)
        return;

    switch (id) {
    case kIdFirstSearchCommand:
    case kIdSearch:
    case kIdSetIp:
    case kIdBackup:
    case kIdRestore:
    case kIdFwUpdate:
    case kIdWebTool:
        m_commands.Run(id);
        break;
    default:
        break;
    }
}

void MainDialog::OnEnableSetIpClicked()
{
    if (m_enableSetIp->isChecked()) {
        const MessageAnswer answer =
            Boxes().Show(MessageCatalogue::Choose(m_state.language, 126, 127),
                         MessageIcon::Question, MessageButtons::YesNo);
        if (answer == MessageAnswer::Yes)
            EnableControl(kIdSetIp, true);
        else
            m_enableSetIp->setChecked(false);
    } else {
        EnableControl(kIdSetIp, false);
    }
}

void MainDialog::OnSystemCommand(int command)
{
    if (m_state.m_bBusy || command != kAboutCommand)
        return;
    AboutBox box(this);
    box.exec();
}

void MainDialog::OpenHelp()
{
    if (m_helpFile.empty())
        return;
    const std::string directory =
        m_services.helpDirectory.empty() ? ExeDirectory() : m_services.helpDirectory;
    const QUrl url = QUrl::fromLocalFile(QString::fromStdString(directory + m_helpFile));
    Urls().Open(url.toString(QUrl::FullyEncoded).toStdString());
}

void MainDialog::reject()
{
    if (m_state.m_bBusy)
        return;
    QDialog::reject();
}

QRect MainDialog::BannerRect() const
{
    if (m_banner.isNull())
        return {};
    return QRect(m_bannerOrigin, m_banner.deviceIndependentSize().toSize());
}

void MainDialog::paintEvent(QPaintEvent*)
{
    if (m_banner.isNull())
        return;
    QPainter painter(this);
    painter.drawPixmap(m_bannerOrigin, m_banner);
}

void MainDialog::contextMenuEvent(QContextMenuEvent* event)
{
    event->accept();
    if (m_state.m_bBusy || m_aboutItemText.isEmpty())
        return;
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("windowMenu"));
    QAction* about = menu.addAction(m_aboutItemText);
    if (menu.exec(event->globalPos()) == about)
        OnSystemCommand(kAboutCommand);
}

int MainDialog::SelectionMark() const
{
    const QModelIndex current = m_list->currentIndex();
    return current.isValid() ? current.row() : -1;
}

int MainDialog::FirstSelectedListRow() const
{
    int first = -1;
    for (const QModelIndex& index : m_list->selectionModel()->selectedRows())
        if (first < 0 || index.row() < first)
            first = index.row();
    return first;
}

bool MainDialog::ListKeyPress(QKeyEvent* key)
{
    // The row the key starts from, before the key moves the selection.
    if (!m_state.m_bBusy)
        m_state.devices.SelectedRow = FirstSelectedListRow();

    if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
        return false;
    if (!m_state.m_bBusy && m_state.UnitsFound) {
        m_state.devices.SelectedRow = FirstSelectedListRow();
        PostCommand(kIdWebTool);
    }
    // Enter in the list belongs to the list: it must not press the default button.
    return true;
}

bool MainDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_list) {
        if (event->type() == QEvent::KeyPress)
            return ListKeyPress(static_cast<QKeyEvent*>(event));
        if (event->type() == QEvent::FocusIn)
            m_state.devices.SelectedRow = SelectionMark();
    } else if (watched == m_list->viewport()) {
        // The press has already moved the selection when its release arrives.
        if (event->type() == QEvent::MouseButtonRelease && !m_state.m_bBusy)
            m_state.devices.SelectedRow = SelectionMark();
        if (event->type() == QEvent::MouseButtonDblClick && !m_state.m_bBusy)
            m_commands.Run(kIdList);
    }
    return QDialog::eventFilter(watched, event);
}

void MainDialog::EnableControl(int id, bool enable)
{
    if (QWidget* widget = Control(id))
        widget->setEnabled(enable);
}

bool MainDialog::IsControlEnabled(int id) const
{
    const QWidget* widget = Control(id);
    return widget && widget->isEnabled();
}

bool MainDialog::IsChecked(int id) const
{
    return id == kIdEnableSetIp && m_enableSetIp->isChecked();
}

void MainDialog::SetChecked(int id, bool checked)
{
    if (id == kIdEnableSetIp)
        m_enableSetIp->setChecked(checked);
}

void MainDialog::ShowButtons(const CommandButtons& buttons)
{
    const std::pair<int, const std::optional<bool>&> inOrder[] = {
        {kIdBackup, buttons.backup}, {kIdRestore, buttons.restore},
        {kIdSetIp, buttons.setIp},   {kIdEnableSetIp, buttons.enableSetIpBox},
        {kIdExit, buttons.exit},     {kIdSearch, buttons.search}};
    for (const auto& [id, state] : inOrder)
        if (state)
            EnableControl(id, *state);
}

void MainDialog::ShowList(const UnitListView& list)
{
    if (list.newList)
        m_list->clear();
    for (std::size_t row = 0; row < list.rows.size(); ++row)
        ShowRow(static_cast<int>(row), list.rows[row]);
    if (list.currentRow >= 0)
        SetSelectionMark(list.currentRow);
}

void MainDialog::ShowRow(int row, const DeviceRecord& record)
{
    if (row < 0)
        return;
    // A row past the end is appended, as the list view inserts it.
    QTreeWidgetItem* item =
        row < m_list->topLevelItemCount() ? m_list->topLevelItem(row) : new QTreeWidgetItem(m_list);
    item->setText(0, FieldText(record.name));
    item->setText(1, FieldText(record.macText));
    item->setText(2, FieldText(record.ipText));
    item->setText(3, FieldText(record.typeText));
}

void MainDialog::SetSelectionMark(int row)
{
    // The mark moves the keyboard's current row without selecting it.
    const QModelIndex index = row >= 0 && row < m_list->topLevelItemCount()
                                  ? m_list->model()->index(row, 0)
                                  : QModelIndex();
    m_list->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    m_list->viewport()->update();
}

} // namespace zelvo
