// Japanese: every text of the program's resources. UTF-8; \042 is a double quote, \n a
// line break. en-US.h is the reference. The dialogs use a Japanese font.
#define ZU_LANG_TAG "ja-JP"
#define ZU_LANG_PRIMARY LANG_JAPANESE
#define ZU_LANG_SUB SUBLANG_DEFAULT
#define ZU_DIALOG_FONT_SIZE 9
#define ZU_DIALOG_FONT_NAME "MS UI Gothic"

#define STR_ZAB_DESCRIPTION \
  "Zuna Access Bridge (Vantor, Inc.) - 支援技術から Zuna アプリケーションへのアクセスを提供します"
#define STR_ZAB_APPLICATION_NAME "Zuna Access Bridge を有効にする"

#define STR_SC_VISIT_NAME "zuna.example にアクセス"
#define STR_SC_VISIT_DESCRIPTION "Zuna の詳細を確認します。"
#define STR_SC_HELP_NAME "ヘルプを表示"
#define STR_SC_HELP_DESCRIPTION "Zuna のインストールと実行に関する問題の解決方法を探します。"
#define STR_SC_CONFIGURE_NAME "Zuna の設定"
#define STR_SC_CONFIGURE_DESCRIPTION "Zuna の設定を表示または変更します。"
#define STR_SC_UPDATE_NAME "アップデートの確認"
#define STR_SC_UPDATE_DESCRIPTION "Zuna の新しいアップデートがあるかどうかを確認します。"
#define STR_SC_ABOUT_NAME "Zuna について"
#define STR_SC_ABOUT_DESCRIPTION "Zuna のバージョン情報を表示します。"
#define STR_SC_DOCS_NAME "リファレンス ドキュメント"
#define STR_SC_DOCS_DESCRIPTION "オンライン API ドキュメントなどの開発者向けリソースを表示します。"
#define STR_SC_FLIGHTDECK_NAME "Zuna Flight Deck"
#define STR_SC_FLIGHTDECK_DESCRIPTION "プロファイリングおよび診断ツール スイート Zuna Flight Deck を起動します。"

#define STR_FIU_PROGRAMS_CAPTION "Zuna セットアップ - プログラムの終了"
#define STR_FIU_PROGRAMS_TITLE "続行するにはプログラムを終了してください"
#define STR_FIU_PROGRAMS_EXPLANATION \
  "一覧のプログラムが Zuna を使用しています。Zuna のファイルを更新するには、これらを終了する必要があります。"
#define STR_FIU_PROGRAMS_SAVE_WORK "作業内容を保存してから [終了して続行] をクリックしてください。"
#define STR_FIU_PROGRAMS_BUTTON "終了して続行"
#define STR_FIU_CONFIRM_PROGRAMS \
  "作業内容とデータを保存してください。\n\n次に [OK] をクリックすると、プログラムが終了し、Zuna のアップデートが完了します。"
#define STR_FIU_BROWSERS_CAPTION "Zuna セットアップ - ブラウザーの終了"
#define STR_FIU_BROWSERS_TITLE "続行するにはブラウザーを終了してください"
#define STR_FIU_BROWSERS_EXPLANATION \
  "ブラウザーが Zuna を使用しています。Zuna のファイルを更新するには、ブラウザーを終了する必要があります。"
#define STR_FIU_BROWSERS_SAVE_WORK "作業内容を保存してから [終了して続行] をクリックしてください。"
#define STR_FIU_BROWSERS_BUTTON "終了して続行"
#define STR_FIU_CONFIRM_BROWSERS \
  "作業内容とデータを保存してください。\n\n次に [OK] をクリックすると、ブラウザーが終了し、Zuna のアップデートが完了します。"
#define STR_FIU_BROWSER_IE "・ Windows Internet Explorer\n"
#define STR_FIU_BROWSER_FIREFOX "・ Mozilla Firefox\n"
#define STR_FIU_BROWSER_SAFARI "・ Safari\n"
#define STR_FIU_BROWSER_CHROME "・ Google Chrome\n"

#define STR_CONFIG_ERROR_CAPTION "Zuna のアンインストール - 構成エラー"
#define STR_CONFIG_PATH_TOO_LONG "構成ファイルのパスが長すぎます。パスは 260 文字未満にしてください。"
#define STR_CONFIG_CANNOT_OPEN "構成ファイル %s を開けませんでした。"
#define STR_CONFIG_NOT_UTF8_TEXT "構成ファイル %s は有効な UTF-8 テキストではありません。"
#define STR_CONFIG_PATH_NOT_ACCEPTABLE \
  "構成ファイルのパスが使用できません。予約名やワイルドカードを含まない完全なパスを指定してください。"
#define STR_CONFIG_NOT_FOUND "構成ファイル %s が見つかりませんでした。"
#define STR_CONFIG_FAULTY_LINE "構成ファイル %s にエラーがあります (行 %s)。"
#define STR_CONFIG_INCOMPLETE_WRITE "構成ファイルを完全には書き込めませんでした。"
#define STR_CONFIG_READ_ERROR "構成ファイル %s を読み取れませんでした。"
#define STR_CONFIG_UNEXPECTED "構成の読み取り中に予期しないエラーが発生しました。"
#define STR_CONFIG_CANNOT_CLOSE "構成ファイルを閉じることができませんでした。"
#define STR_CONFIG_CANNOT_DELETE "構成ファイルを削除できませんでした。"
#define STR_CONFIG_MISSING_ARGUMENT "必要な構成ファイルまたは値が指定されていません。"
#define STR_CONFIG_PATH_NOT_UTF8 "構成ファイルのパスが有効な UTF-8 テキストではありません。"
#define STR_CONFIG_FILE_TOO_LARGE "構成ファイル %s が大きすぎます。1 MB 未満にしてください。"
#define STR_CONFIG_BAD_ARGUMENTS "次のコマンド ライン引数はサポートされていないか、値が無効です:\n\n%s"
