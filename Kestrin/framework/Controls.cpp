#include "Controls.h"

#include <cstring>
#include <string>

#include "WideText.h"

int CListCtrl::InsertColumn(int column, const wchar_t* heading, int format, int width, int subItem) const {
  LVCOLUMNW layout{};
  layout.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
  layout.fmt = format;
  layout.cx = width;
  layout.pszText = const_cast<wchar_t*>(heading);
  layout.iSubItem = subItem;
  return static_cast<int>(SendMessage(LVM_INSERTCOLUMNW, column, reinterpret_cast<LPARAM>(&layout)));
}

int CListCtrl::GetItemText(int item, int subItem, char* buffer, int size) const {
  wchar_t wide[1024] = {};
  LVITEMW cell{};
  cell.iSubItem = subItem;
  cell.pszText = wide;
  cell.cchTextMax = 1024;
  if (size > 0) buffer[0] = '\0';
  SendMessage(LVM_GETITEMTEXTW, item, reinterpret_cast<LPARAM>(&cell));
  std::string text = Utf8FromWide(wide);
  if (size <= 0 || text.size() >= static_cast<size_t>(size)) return 0;
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<int>(text.size());
}

int CListCtrl::InsertItem(int item, const char* text) const {
  std::wstring wide = WideFromUtf8(text);
  LVITEMW row{};
  row.mask = LVIF_TEXT;
  row.iItem = item;
  row.iSubItem = 0;
  row.pszText = &wide[0];
  return static_cast<int>(SendMessage(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&row)));
}

BOOL CListCtrl::SetItemText(int item, int subItem, const char* text) const {
  std::wstring wide = WideFromUtf8(text);
  LVITEMW cell{};
  cell.mask = LVIF_TEXT;
  cell.iItem = item;
  cell.iSubItem = subItem;
  cell.pszText = &wide[0];
  return static_cast<BOOL>(SendMessage(LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&cell)));
}

BOOL CBrush::CreateSolidBrush(COLORREF colour) {
  DeleteObject();
  m_hBrush = ::CreateSolidBrush(colour);
  return m_hBrush != nullptr;
}

void CBrush::DeleteObject() {
  if (m_hBrush != nullptr) ::DeleteObject(m_hBrush);
  m_hBrush = nullptr;
}

void DDX_Control(CDataExchange* exchange, int id, CWnd& control) {
  if (control.m_hWnd == nullptr) control.m_hWnd = ::GetDlgItem(exchange->m_pDlgWnd->m_hWnd, id);
}
