// Chinese (Traditional): every text of the program's resources. UTF-8; \042 is a double
// quote, \n a line break. en-US.h is the reference.
#define ZU_LANG_TAG "zh-TW"
#define ZU_LANG_PRIMARY LANG_CHINESE
#define ZU_LANG_SUB SUBLANG_CHINESE_TRADITIONAL
#define ZU_DIALOG_FONT_SIZE 8
#define ZU_DIALOG_FONT_NAME "MS Sans Serif"

#define STR_ZAB_DESCRIPTION \
  "Zuna Access Bridge，由 Vantor, Inc. 提供，讓輔助技術能夠存取 Zuna 應用程式"
#define STR_ZAB_APPLICATION_NAME "啟用 Zuna Access Bridge"

#define STR_SC_VISIT_NAME "造訪 zuna.example"
#define STR_SC_VISIT_DESCRIPTION "深入了解 Zuna。"
#define STR_SC_HELP_NAME "取得說明"
#define STR_SC_HELP_DESCRIPTION "尋找安裝和執行 Zuna 時所遇問題的解決方法。"
#define STR_SC_CONFIGURE_NAME "設定 Zuna"
#define STR_SC_CONFIGURE_DESCRIPTION "檢視或變更 Zuna 設定。"
#define STR_SC_UPDATE_NAME "檢查更新"
#define STR_SC_UPDATE_DESCRIPTION "查看是否有新的 Zuna 更新可用。"
#define STR_SC_ABOUT_NAME "關於 Zuna"
#define STR_SC_ABOUT_DESCRIPTION "檢視 Zuna 版本資訊。"
#define STR_SC_DOCS_NAME "參考文件"
#define STR_SC_DOCS_DESCRIPTION "檢視開發人員資源，包括線上 API 文件。"
#define STR_SC_FLIGHTDECK_NAME "Zuna Flight Deck"
#define STR_SC_FLIGHTDECK_DESCRIPTION "啟動 Zuna Flight Deck 效能分析與診斷工具套件。"

#define STR_FIU_PROGRAMS_CAPTION "Zuna 安裝程式 - 關閉程式"
#define STR_FIU_PROGRAMS_TITLE "請關閉程式以繼續"
#define STR_FIU_PROGRAMS_EXPLANATION \
  "列出的程式正在使用 Zuna。必須關閉這些程式，才能更新 Zuna 檔案。"
#define STR_FIU_PROGRAMS_SAVE_WORK "請儲存您的工作，然後按一下「關閉程式並繼續」。"
#define STR_FIU_PROGRAMS_BUTTON "關閉程式並繼續"
#define STR_FIU_CONFIRM_PROGRAMS \
  "請儲存您的工作和資料！\n\n然後按一下「確定」以關閉程式並完成 Zuna 更新。"
#define STR_FIU_BROWSERS_CAPTION "Zuna 安裝程式 - 關閉瀏覽器"
#define STR_FIU_BROWSERS_TITLE "請關閉瀏覽器以繼續"
#define STR_FIU_BROWSERS_EXPLANATION \
  "您的瀏覽器正在使用 Zuna，必須關閉瀏覽器才能更新 Zuna 檔案。"
#define STR_FIU_BROWSERS_SAVE_WORK "請儲存您的工作，然後按一下「關閉瀏覽器並繼續」。"
#define STR_FIU_BROWSERS_BUTTON "關閉瀏覽器並繼續"
#define STR_FIU_CONFIRM_BROWSERS \
  "請儲存您的工作和資料！\n\n然後按一下「確定」以關閉瀏覽器並完成 Zuna 更新。"
#define STR_FIU_BROWSER_IE "·  Windows Internet Explorer\n"
#define STR_FIU_BROWSER_FIREFOX "·  Mozilla Firefox\n"
#define STR_FIU_BROWSER_SAFARI "·  Safari\n"
#define STR_FIU_BROWSER_CHROME "·  Google Chrome\n"

#define STR_CONFIG_ERROR_CAPTION "Zuna 解除安裝 - 設定錯誤"
#define STR_CONFIG_PATH_TOO_LONG "設定檔的路徑太長。路徑必須少於 260 個字元。"
#define STR_CONFIG_CANNOT_OPEN "無法開啟設定檔 %s。"
#define STR_CONFIG_NOT_UTF8_TEXT "設定檔 %s 不是有效的 UTF-8 文字。"
#define STR_CONFIG_PATH_NOT_ACCEPTABLE \
  "設定檔的路徑無法接受。請使用不含保留名稱或萬用字元的完整路徑。"
#define STR_CONFIG_NOT_FOUND "找不到設定檔 %s。"
#define STR_CONFIG_FAULTY_LINE "設定檔 %s 的第 %s 行有錯誤。"
#define STR_CONFIG_INCOMPLETE_WRITE "無法完整寫入設定檔。"
#define STR_CONFIG_READ_ERROR "無法讀取設定檔 %s。"
#define STR_CONFIG_UNEXPECTED "讀取設定時發生未預期的錯誤。"
#define STR_CONFIG_CANNOT_CLOSE "無法關閉設定檔。"
#define STR_CONFIG_CANNOT_DELETE "無法刪除設定檔。"
#define STR_CONFIG_MISSING_ARGUMENT "未提供所需的設定檔或值。"
#define STR_CONFIG_PATH_NOT_UTF8 "設定檔的路徑不是有效的 UTF-8 文字。"
#define STR_CONFIG_FILE_TOO_LARGE "設定檔 %s 太大。檔案必須小於 1 MB。"
#define STR_CONFIG_BAD_ARGUMENTS "下列命令列引數不受支援或值無效:\n\n%s"
