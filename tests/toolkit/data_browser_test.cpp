// Data browsers by view identifier: counts and copies over nested open containers, the copy of an empty
// browser, column widths, the look-up's error for a missing browser, the callbacks a browser calls, and the
// tree widget that shows one (the user's selection reaches the model).
#include "toolkit/data_browser.h"

#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"
#include "platform/ui/nib_controls_qt.h"
#include "support/gui_driver.h"

#include <gtest/gtest.h>

#include <QTreeWidget>
#include <QVBoxLayout>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr HIViewID kBrowser{'Orl1', 3000};
constexpr HIViewID kMissing{'Orl1', 3999};

std::vector<std::pair<DataBrowserItemID, DataBrowserItemNotification>> gNotes;
std::vector<std::pair<DataBrowserItemID, DataBrowserPropertyID>> gAsked;

// Item 10 is a container: opening it adds 11 and 12; opening 12 adds 13.
void Notes(ControlRef browser, DataBrowserItemID item, DataBrowserItemNotification message) {
  gNotes.emplace_back(item, message);
  if (message != kDataBrowserContainerOpened) return;
  if (item == 10) {
    const DataBrowserItemID inner[] = {11, 12};
    AddDataBrowserItems(browser, 10, 2, inner, kDataBrowserItemNoProperty);
  } else if (item == 12) {
    const DataBrowserItemID inner[] = {13};
    AddDataBrowserItems(browser, 12, 1, inner, kDataBrowserItemNoProperty);
  }
}

OSStatus Data(ControlRef, DataBrowserItemID item, DataBrowserPropertyID property, DataBrowserItemDataRef data,
              Boolean setValue) {
  if (setValue) return errDataBrowserPropertyNotFound;
  gAsked.emplace_back(item, property);
  const std::string name = "item " + std::to_string(item);
  CFStringRef text = CFStringCreateWithCString(nullptr, name.c_str(), kCFStringEncodingUTF8);
  SetDataBrowserItemDataText(data, text);
  CFRelease(text);
  return noErr;
}

class ToolkitDataBrowser : public ::testing::Test {
 protected:
  void SetUp() override {
    HIViewID id = kBrowser;
    ControlRef control = nullptr;
    ASSERT_EQ(PL_NewControl(window_, &id, &control), noErr);
    ASSERT_EQ(PL_MakeDataBrowser(control), noErr);
    ASSERT_EQ(GL_SetDataBrowserCbsByID(window_, kBrowser, Data, Notes, nullptr), noErr);
    gNotes.clear();
    gAsked.clear();
  }
  void TearDown() override { PL_DisposeWindowControls(window_); }

  ControlRef Browser() {
    HIViewRef v = nullptr;
    EXPECT_EQ(HIViewFindByID(HIViewGetRoot(window_), kBrowser, &v), noErr);
    return v;
  }
  // Root items 1, 2, 10 with 10 and 12 open: 1, 2, 10, 11, 12, 13.
  void Nest() {
    DataBrowserItemID root[] = {1, 2, 10};
    ASSERT_EQ(GL_PopulateDataBrowserByID(window_, kBrowser, 3, root), noErr);
    ASSERT_EQ(OpenDataBrowserContainer(Browser(), 10), noErr);
    ASSERT_EQ(OpenDataBrowserContainer(Browser(), 12), noErr);
  }
  std::vector<DataBrowserItemID> Copy(bool selected) {
    DataBrowserItemID *ids = reinterpret_cast<DataBrowserItemID *>(1);
    UInt32 n = 99;
    const OSStatus err = selected ? GL_CopySelectedDBItems(window_, kBrowser, &ids, &n)
                                  : GL_CopyDBItems(window_, kBrowser, &ids, &n);
    EXPECT_EQ(err, noErr);
    EXPECT_NE(ids, nullptr);
    std::vector<DataBrowserItemID> out(ids, ids + n);
    std::free(ids);
    return out;
  }

  int storage_ = 0;
  WindowRef window_ = reinterpret_cast<WindowRef>(&storage_);
};

TEST_F(ToolkitDataBrowser, EmptyBrowserCopiesAnEmptyBlock) {
  EXPECT_TRUE(Copy(false).empty());
  EXPECT_TRUE(Copy(true).empty());
  UInt32 count = 7;
  EXPECT_EQ(GL_CountDBItems(window_, kBrowser, &count), noErr);
  EXPECT_EQ(count, 0u);
}

TEST_F(ToolkitDataBrowser, CountsAndCopiesGoIntoOpenContainers) {
  Nest();
  UInt32 count = 0;
  ASSERT_EQ(GL_CountDBItems(window_, kBrowser, &count), noErr);
  EXPECT_EQ(count, 6u);
  EXPECT_EQ(Copy(false), (std::vector<DataBrowserItemID>{1, 2, 10, 11, 12, 13}));

  const DataBrowserItemID chosen[] = {2, 11, 13};
  ASSERT_EQ(SetDataBrowserSelectedItems(Browser(), 3, chosen, kDataBrowserItemsAssign), noErr);
  UInt32 selected = 0;
  ASSERT_EQ(GL_CountSelectedDBItems(window_, kBrowser, &selected), noErr);
  EXPECT_EQ(selected, 3u);
  EXPECT_EQ(Copy(true), (std::vector<DataBrowserItemID>{2, 11, 13}));

  // Closing a container takes its items, and their selection, away.
  ASSERT_EQ(CloseDataBrowserContainer(Browser(), 10), noErr);
  ASSERT_EQ(GL_CountSelectedDBItems(window_, kBrowser, &selected), noErr);
  EXPECT_EQ(selected, 1u);
  ASSERT_EQ(GL_CountDBItems(window_, kBrowser, &count), noErr);
  EXPECT_EQ(count, 3u);
}

TEST_F(ToolkitDataBrowser, AddRemoveAndClear) {
  Nest();
  EXPECT_EQ(GL_AddDataBrowserItem(window_, kBrowser, 5), noErr);
  // An item the browser has already, anywhere, is refused and nothing of the batch is added.
  DataBrowserItemID again[] = {6, 13};
  EXPECT_EQ(GL_PopulateDataBrowserByID(window_, kBrowser, 2, again), errDataBrowserItemNotAdded);
  EXPECT_EQ(GL_RemoveDataBrowserItem(window_, kBrowser, 1), noErr);
  // Only root items can be removed through the root container.
  EXPECT_EQ(GL_RemoveDataBrowserItem(window_, kBrowser, 11), errDataBrowserItemNotFound);
  EXPECT_EQ(Copy(false), (std::vector<DataBrowserItemID>{2, 10, 11, 12, 13, 5}));
  DataBrowserItemID two[] = {2, 10};
  EXPECT_EQ(GL_RemoveDataBrowserItemsByID(window_, kBrowser, 2, two), noErr);
  EXPECT_EQ(Copy(false), (std::vector<DataBrowserItemID>{5}));
  EXPECT_EQ(GL_ClearDataBrowserByID(window_, kBrowser), noErr);
  EXPECT_TRUE(Copy(false).empty());
}

TEST_F(ToolkitDataBrowser, CallbacksAreAskedForItsProperties) {
  ASSERT_EQ(PL_AddDataBrowserColumn(Browser(), 'name', CFSTR("Name"), 120), noErr);
  ASSERT_EQ(GL_AddDataBrowserItem(window_, kBrowser, 4), noErr);
  EXPECT_EQ(gNotes, (std::vector<std::pair<DataBrowserItemID, DataBrowserItemNotification>>{{4, kDataBrowserItemAdded}}));
  gAsked.clear();
  DataBrowserItemID item = 4;
  ASSERT_EQ(GL_UpdateDataBrowserItemsByID(window_, kBrowser, 1, &item), noErr);
  EXPECT_EQ(gAsked, (std::vector<std::pair<DataBrowserItemID, DataBrowserPropertyID>>{
                        {4, 'name'}, {4, kDataBrowserItemSelfIdentityProperty}}));
  gAsked.clear();
  ASSERT_EQ(GL_UpdateDataBrowserItemCV(window_, kBrowser, 4), noErr);
  EXPECT_EQ(gAsked, (std::vector<std::pair<DataBrowserItemID, DataBrowserPropertyID>>{
                        {4, kDataBrowserItemSelfIdentityProperty}}));
  EXPECT_EQ(GL_UpdateDataBrowserItemCV(window_, kBrowser, 77), errDataBrowserItemNotFound);
}

TEST_F(ToolkitDataBrowser, ColumnWidthsSortPropertyAndAttributes) {
  ASSERT_EQ(PL_AddDataBrowserColumn(Browser(), 'name', CFSTR("Name"), 120), noErr);
  ASSERT_EQ(PL_AddDataBrowserColumn(Browser(), 'size', CFSTR("Size"), 60), noErr);
  struct Case {
    DataBrowserTableViewColumnID column;
    int set;
    UInt16 got;
  };
  // The width is taken as 16 bits.
  for (const Case &c : {Case{'name', 200, 200}, Case{'size', 0, 0}, Case{'size', 65535, 65535},
                        Case{'name', 65536 + 33, 33}}) {
    SCOPED_TRACE(c.set);
    ASSERT_EQ(GL_SetDataBrowserTableViewNamedColumnWidthByID(window_, kBrowser, c.column, c.set), noErr);
    UInt16 width = 1;
    ASSERT_EQ(GL_GetDataBrowserTableViewNamedColumnWidthByID(window_, kBrowser, c.column, &width), noErr);
    EXPECT_EQ(width, c.got);
  }
  UInt16 width = 0;
  EXPECT_EQ(GL_GetDataBrowserTableViewNamedColumnWidthByID(window_, kBrowser, 'none', &width),
            errDataBrowserPropertyNotFound);

  DataBrowserPropertyID sort = 1;
  ASSERT_EQ(GL_GetDataBrowserSortPropertyByID(window_, kBrowser, &sort), noErr);
  EXPECT_EQ(sort, kDataBrowserItemNoProperty);
  ASSERT_EQ(SetDataBrowserSortProperty(Browser(), 'size'), noErr);
  ASSERT_EQ(GL_GetDataBrowserSortPropertyByID(window_, kBrowser, &sort), noErr);
  EXPECT_EQ(sort, DataBrowserPropertyID('size'));

  OptionBits attributes = 0;
  ASSERT_EQ(GL_DataBrowserChangeAttributesByID(window_, kBrowser, 0b110, 0), noErr);
  ASSERT_EQ(GL_DataBrowserChangeAttributesByID(window_, kBrowser, 0b001, 0b100), noErr);
  ASSERT_EQ(DataBrowserGetAttributes(Browser(), &attributes), noErr);
  EXPECT_EQ(attributes, OptionBits(0b011));
}

TEST_F(ToolkitDataBrowser, MissingBrowserGivesTheLookupErrorAndNoBlock) {
  HIViewRef none = nullptr;
  const OSStatus lookup = HIViewFindByID(HIViewGetRoot(window_), kMissing, &none);
  ASSERT_NE(lookup, noErr);
  DataBrowserItemID *ids = reinterpret_cast<DataBrowserItemID *>(1);
  UInt32 n = 0, count = 0;
  EXPECT_EQ(GL_CopyDBItems(window_, kMissing, &ids, &n), lookup);
  EXPECT_EQ(ids, nullptr);
  ids = reinterpret_cast<DataBrowserItemID *>(1);
  EXPECT_EQ(GL_CopySelectedDBItems(window_, kMissing, &ids, &n), lookup);
  EXPECT_EQ(ids, nullptr);
  DataBrowserItemID item = 1;
  UInt16 width = 0;
  DataBrowserPropertyID sort = 0;
  const std::vector<OSStatus> results = {
      GL_ClearDataBrowserByID(window_, kMissing),
      GL_PopulateDataBrowserByID(window_, kMissing, 1, &item),
      GL_AddDataBrowserItem(window_, kMissing, 1),
      GL_RemoveDataBrowserItem(window_, kMissing, 1),
      GL_RemoveDataBrowserItemsByID(window_, kMissing, 1, &item),
      GL_UpdateDataBrowserItemsByID(window_, kMissing, 1, &item),
      GL_UpdateDataBrowserItemCV(window_, kMissing, 1),
      GL_SetDataBrowserCbsByID(window_, kMissing, nullptr, nullptr, nullptr),
      GL_CountDBItems(window_, kMissing, &count),
      GL_CountSelectedDBItems(window_, kMissing, &count),
      GL_GetDataBrowserSortPropertyByID(window_, kMissing, &sort),
      GL_DataBrowserChangeAttributesByID(window_, kMissing, 1, 0),
      GL_GetDataBrowserTableViewNamedColumnWidthByID(window_, kMissing, 'name', &width),
      GL_SetDataBrowserTableViewNamedColumnWidthByID(window_, kMissing, 'name', 10),
  };
  for (size_t i = 0; i < results.size(); ++i) EXPECT_EQ(results[i], lookup) << "operation " << i;
  // A control that is no data browser answers as gone, not as an empty browser.
  HIViewID plainID{'Orl1', 3001};
  ControlRef plain = nullptr;
  ASSERT_EQ(PL_NewControl(window_, &plainID, &plain), noErr);
  EXPECT_EQ(GL_CountDBItems(window_, plainID, &count), errUnknownControl);
}

TEST(ToolkitDataBrowserWidget, TreeShowsItemsAndTakesTheUsersSelection) {
  TD_App();
  auto root = std::make_unique<QWidget>();
  auto *tree = new QTreeWidget(root.get());
  tree->setObjectName(QStringLiteral("Orl1_3000"));
  (new QVBoxLayout(root.get()))->addWidget(tree);
  int storage = 0;
  WindowRef window = reinterpret_cast<WindowRef>(&storage);
  ASSERT_EQ(PL_AttachNibControls(window, root.get(), nullptr), noErr);
  HIViewRef browser = nullptr;
  ASSERT_EQ(HIViewFindByID(HIViewGetRoot(window), kBrowser, &browser), noErr);
  ControlKind kind{};
  ASSERT_EQ(GetControlKind(browser, &kind), noErr);
  EXPECT_EQ(kind.kind, kControlKindDataBrowser);

  ASSERT_EQ(GL_SetDataBrowserCbsByID(window, kBrowser, Data, Notes, nullptr), noErr);
  ASSERT_EQ(PL_AddDataBrowserColumn(browser, 'name', CFSTR("Name"), 150), noErr);
  DataBrowserItemID items[] = {1, 10};
  ASSERT_EQ(GL_PopulateDataBrowserByID(window, kBrowser, 2, items), noErr);
  ASSERT_EQ(OpenDataBrowserContainer(browser, 10), noErr);
  ASSERT_EQ(tree->topLevelItemCount(), 2);
  EXPECT_EQ(tree->topLevelItem(0)->text(0), QStringLiteral("item 1"));
  EXPECT_EQ(tree->topLevelItem(1)->childCount(), 2);
  EXPECT_EQ(tree->headerItem()->text(0), QStringLiteral("Name"));
  EXPECT_EQ(tree->columnWidth(0), 150);

  gNotes.clear();
  tree->topLevelItem(1)->child(1)->setSelected(true);  // as the user's click does
  UInt32 selected = 0;
  ASSERT_EQ(GL_CountSelectedDBItems(window, kBrowser, &selected), noErr);
  EXPECT_EQ(selected, 1u);
  EXPECT_TRUE(IsDataBrowserItemSelected(browser, 12));
  EXPECT_EQ(gNotes.back(), std::make_pair(DataBrowserItemID(12), DataBrowserItemNotification(kDataBrowserItemSelected)));
  PL_DetachNibControls(window);
}

}  // namespace
