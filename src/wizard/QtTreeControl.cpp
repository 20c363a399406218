#include "wizard/QtTreeControl.h"

#include <QPixmap>

#include "wizard/art/Artwork.h"

namespace carillon {

QIcon TreeImageList::Icon(int index) const {
    if (index < 0 || index >= Count()) return QIcon();
    return m_icons[static_cast<std::size_t>(index)];
}

TreeImageList MakePrinterTreeImages() {
    std::vector<QIcon> icons;
    for (int i : {kImageWakeUp, kImageSerial, kImageUsb}) {
        const QPixmap pixmap = QPixmap::fromImage(art::DrawTreeImage(i));
        QIcon icon;
        // The selected line keeps the same image rather than a tinted one.
        for (QIcon::Mode mode : {QIcon::Normal, QIcon::Selected, QIcon::Active}) icon.addPixmap(pixmap, mode);
        icons.push_back(icon);
    }
    return TreeImageList(std::move(icons));
}

QtTreeControl::QtTreeControl(QTreeWidget* widget) : m_widget(widget) {}

void QtTreeControl::Queue(std::function<void()> change) {
    QMetaObject::invokeMethod(this, std::move(change), Qt::QueuedConnection);
}

TreeItem QtTreeControl::InsertItem(const std::string& text, int image, TreeItem parent) {
    const TreeItem handle = m_nextHandle.fetch_add(1);
    Queue([this, handle, text = QString::fromStdString(text), image, parent] {
        QTreeWidgetItem* under = nullptr;
        if (parent != kTreeRoot) {
            under = Item(parent);
            if (under == nullptr) return;  // its parent went with a DeleteAllItems queued before
        }
        auto* item = new QTreeWidgetItem(QStringList{text});
        if (m_images != nullptr) item->setIcon(0, m_images->Icon(image));
        if (under != nullptr) under->addChild(item);
        else m_widget->addTopLevelItem(item);
        m_items[handle] = item;
        m_handles[item] = handle;
    });
    return handle;
}

void QtTreeControl::DeleteAllItems() {
    Queue([this] {
        // Forget the handles first: clearing reports a selection change.
        m_items.clear();
        m_handles.clear();
        m_widget->clear();
    });
}

void QtTreeControl::SetBold(TreeItem handle, bool bold) {
    Queue([this, handle, bold] {
        if (QTreeWidgetItem* item = Item(handle)) {
            QFont font = item->font(0);
            font.setBold(bold);
            item->setFont(0, font);
        }
    });
}

void QtTreeControl::Expand(TreeItem handle) {
    Queue([this, handle] {
        if (QTreeWidgetItem* item = Item(handle)) item->setExpanded(true);
    });
}

TreeItem QtTreeControl::GetSelectedItem() {
    const QTreeWidgetItem* current = m_widget->currentItem();
    if (current == nullptr) return 0;
    auto it = m_handles.find(current);
    return it == m_handles.end() ? 0 : it->second;
}

void QtTreeControl::SetRedraw(bool on) {
    Queue([this, on] {
        m_widget->setUpdatesEnabled(on);
        if (on) m_widget->viewport()->update();
    });
}

void QtTreeControl::SetNormalImageList(TreeImageList* images) {
    Queue([this, images] { m_images = images; });
}

QTreeWidgetItem* QtTreeControl::Item(TreeItem handle) const {
    auto it = m_items.find(handle);
    return it == m_items.end() ? nullptr : it->second;
}

}  // namespace carillon
