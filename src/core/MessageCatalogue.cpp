#include "core/MessageCatalogue.h"

#include "core/UiLanguage.h"

#include <iterator>

namespace zelvo {
namespace {

struct Entry
{
    int id;
    const char* text;
};

// Numbers with the same role come in pairs; which of the two is the Japanese one
// differs from pair to pair (118 is English, 119 Japanese).
// One number per line reads best for a table of texts.
// clang-format off
constexpr Entry kEntries[] = {
    // text of the system-menu item that opens the about box; the same string in both languages
    {101, "ﾊﾞｰｼﾞｮﾝ情報(&A)..."},
    // requirements message, after the line "MS : %d.%d %s (Build %d)\r\n\r\n"
    {104, "本ソフトは、下記のOSで動作可能です。\r\n\r\n    Windows 98 SE以降\r\n    Windows Me\r\n    Windows NT 4.0 SP4以降\r\n    Windows 2000\r\n\r\nOSのバージョンを確認してください。"},
    {105, "System requirements to start up this software:\r\n\r\n  Microsoft Windows 98 SE or later\r\n  Windows ME\r\n  Microsoft Windows NT 4.0 Service Pack 4 or later\r\n  Windows 2000\r\n\r\nmake sure OS version."},
    // the selected row is not a unit
    {106, "選択されたサイトは、VELDIXシリーズではありません。"},
    {107, "The site you selected was not VELDIX."},
    // offer to give a temporary address (no DHCP server found)
    {108, "これまでのネットワーク調査でDHCPサーバは検出されなかったので\r\n本ソフトが仮のIPアドレスを設定します。\n\r\n\rもしネットワーク上にDHCPサーバがある場合には「いいえ」を選択して、\r\n再度検索を行ってみてください。\n"},
    {109, "In case you don't have DHCP server on the network you use, \r\nthis software can set up the VELDIX temporary IP address. \r\n\r\nDo you want to set up VELDIX temporary IP address?"},
    // text of the unit-pick dialog of the backup
    {112, "構成情報をPC側にダウンロード・保存します。\r\n\r\nVELDIXシリーズを選択して下さい\n"},
    {114, "Download Organization. Number of VELDIX"},
    // text of the unit-pick dialog of the restore
    {113, "復元したい構成情報をPCからアップロードします。\r\n\r\nVELDIXシリーズを選択して下さい\n"},
    {115, "Upload Organization. Number of VELDIX"},
    // TCP/IP missing
    {119, "ご使用の環境下ではTCP/IPサービスがサポートされていませんので\r\nVELDIXシリーズの設定が行えません。"},
    {118, "TCP IP service isn't supported."},
    // a unit got a temporary address; the address follows
    {120, "VELDIXシリーズが見つかりました。\n\r仮IP アドレス："},
    {121, "Found a new VELDIX.\n\rTemporary IP Address"},
    // network enumeration failed; " : %ld\n" with the code follows
    {122, "ネットワークの検索中にエラーが発生しました。エラー"},
    {123, "Error occurred on Network searching. Error."},
    // network enumeration cannot start; " : %ld\n" with the code follows
    {124, "ネットワークの検索は開始できません。エラー"},
    {125, "Network searching can't be started. Error."},
    // offer to enable Set IP
    {126, "これまでのネットワーク調査でＤＨＣＰサーバを検出できませんでした。\r\nＤＨＣＰサーバが存在しない場合、代わりに「IP設定 許可」機能を使用して、\r\nVELDIXシリーズに仮ＩＰアドレスを設定することが可能です。\r\n\r\n「IP設定 許可」機能を使用可能にしますか？"},
    {127, "not DHCP server exists. \r\nIn case DHCP server doesn't exist, it's possible to use 'Set VELDIX IP' function \r\nand set up the temporary IP address for VELDIX instead. \r\n\r\nDo you want to enable the use of 'Set VELDIX IP'?"},
    // the unit already holds a new configuration file
    {128, "既に新しい構成情報ファイルが存在しています。\r\nこのファイルを新しくアップロードするファイルと置き換えますか?"},
    {129, "Notice : Found VELDIX with new Organization file.\r\nIt will be overwrite if you upload a Organization file from local PC.\n\r\n\rDo you want to upload anyway?"},
    // a unit without IP address was found; its MAC follows
    {130, "ＩＰアドレス設定待ちのVELDIXシリーズを発見しました。\r\n\r\nMAC Address "},
    {131, "VELDIX found, but IP address not set up. \r\nIt's necessary to set up the VELDIX interim IP address first.\r\n\r\nMAC Address "},
    // the PC's network card does not work
    {132, "ご使用のＰＣのネットワークカードは正しく動作していません。\r\n以下の各項目を確認してください。\r\n\r\n１．ネットワークカードの設定とケーブルの接続に問題がありませんか？\r\n２．IPアドレスの設定は適切ですか?"},
    {133, "Notice : Network of your PC is not working correctly. Confirm the items below. \r\n\r\n1. Network card is set up and cable is connected.?\r\n2. You must set a fixed IP address to your network card In case \r\nthere is no DHCP server on the network . "},
    // opening the unit's initial set-up page
    {134, "WebツールのVELDIXシリーズ初期設定サイトをオープンします。\n\rこちらのサイトでまずVELDIXシリーズに適切な固定IPアドレスを設定してください。"},
    {135, "\r\n\r\nOpen VELDIX initialization set up site. Specify the fixed IP address for VELDIX please."},
    // first search found no unit: use Search
    {136, "検索ボタンをクリックして、VELDIXシリーズの検索を行ってください。"},
    {137, "In the initial search VELDIX not found. Searchn is recommended.\r\n Click 'Search'."},
    // search found no unit
    {140, "検索した結果VELDIXシリーズは見つかりませんでした。\r\n以下のような原因が考えられます。\r\n\r\n1.VELDIXシリーズの設置状況とケーブルの接続\r\n2.ネットワーク(TCP/IP)の設定\r\n\r\n上記の項目を適切に設定してから再検索を行ってください。"},
    {141, "In the initial search VELDIX not found. Make sure VELDIX is\r\n set up and cable is connected, and try again."},
    // configuration uploaded: start the web tool?
    {143, "構成情報ファイルのアップロードに成功しました。\r\nWebツールを起動して構成情報の復元を行ってください。\r\n\r\nWebツールを起動しますか？"},
    {144, "Uploading of VELDIX Organization file performed successfully.\r\nTo make uploaded Organization File valid it's necessary to start up Web tool.\r\nDo you want to start up Web tool?\n"},
    // the unit has no configuration file: start the web tool?
    {145, "構成情報ファイルが作成されていません。\r\nまず、Webツール上で構成情報ファイルを作成してください。\r\n\r\nWebツールを起動しますか？"},
    {146, "Organization File not created on VELDIX. Create Organization File first. \r\nTo create Organization File it's necessary to start up Web tool. \r\nDo you want to start up Web tool?"},
    // backup goes to the floppy disk the tool runs from
    {147, "構成情報ファイルは本プログラムが存在するフロッピーディスクに保存されます。\n\r続行しますか？"},
    {148, "Organization File will be saved to a floppy drive. Do you want to do it anyway?"},
    // backup goes to the drive the tool runs from (first part; the drive letter follows)
    {149, "構成情報ファイルは本プログラムが存在する  "},
    {150, "Organization File will be saved to \r\ndrive"},
    // second part of the message above
    {151, ": に保存されます。\n\r続行しますか？"},
    {152, "Do you want to do it anyway?"},
    // select a unit first
    {155, "VELDIXシリーズを選択して、Webツールを起動してください。"},
    {156, "Selecting VELDIX first, then start up Web tool. "},
    // text of the unit-pick dialog of the firmware upload
    {157, "新ファームウェアをアープロードします。\r\n\r\nVELDIXシリーズを選択して下さい\n"},
    {158, "Upload New Firmware. Number of VELDIX"},
    // a file of the same name is on the unit
    {159, "既に同じ名前のファイルが存在しています。\r\nこのファイルを新しくアップロードするファイルと置き換えますか?"},
    {160, "Notice : Found the file with same name in VELDIX.\r\nIt will be overwrite if you upload the file from local PC.\n\r\n\rDo you want to upload anyway?"},
    // firmware uploaded: start the web tool?
    {161, "ファームウェアファイルのアップロードに成功しました。\r\nWebツールを起動してファームウェアの更新を行ってください。\r\n\r\nWebツールを起動しますか？"},
    {162, "Uploading of VELDIX firmware file performed successfully.\r\nTo make uploaded firmware file valid it's necessary to start up Web tool.\r\nDo you want to start up Web tool?\n"},
    // manager.ini missing
    {163, "Ｍａｎａｇｅｒ．ｉｎｉファイルが見つかりません。\nZelvoセットアップツールを再インストールしてください。"},
    {165, "Can't found Manager.ini file.\nYou should install Zelvo Setup Tool again."},
    // manager.ini broken
    {164, "Manager.iniファイルが壊れています。\nZelvoセットアップツールを再インストールしてください。"},
    {166, "You have a wrong Manager.ini file.\nYou should install Zelvo Setup Tool again."},
    // progress text while waiting for an unaddressed unit
    {167, "仮IPアドレス待ちのVELDIXシリーズを検索中...\n"},
    {168, "Searching for VELDIX with no IP address...\n"},
    // progress text while giving the temporary address
    {169, "VELDIXシリーズに仮IPアドレスを設定中...\n"},
    {170, "Setting temporal IP address for VELDIX...\n"},
    // progress caption while waiting for an unaddressed unit
    {171, "仮IPアドレス待ちのVELDIXシリーズを検索"},
    {172, "Searching for VELDIX with no IP address"},
    // progress caption while giving the temporary address
    {173, "仮IPアドレスを設定"},
    {174, "Setting temporal IP address for VELDIX"},
    // progress text while reading the unit's name
    {175, "VELDIXシリーズに仮IPアドレス設定中．．．\n"},
    {176, "Retrieving information of VELDIX...\n"},
    // progress caption while reading the unit's name
    {177, "仮IPアドレス設定"},
    {178, "Retrieve informaton"},
    // Linux additions (numbers above the tool's original range): the search cannot open
    // an ICMP socket, neither itself nor through zelvo-sockhelper. The advice names the
    // script that also gives the helper its group and mode: a bare setcap would leave a
    // helper that any account may run.
    {901, "ICMPエコー要求を送信する権限がないため、VELDIXシリーズを検索できません。\r\n"
          "補助プログラム zelvo-sockhelper に権限を与えてください（本ツールのフォルダーで root として実行）：\r\n\r\n"
          "  ./install-helper.sh zelvo-sockhelper\r\n\r\n"
          "詳しくは manager.log を参照してください。"},
    {902, "The search cannot send ICMP echo requests: this program may not open a raw socket.\r\n"
          "Give its helper program zelvo-sockhelper its rights (as root, in the tool's folder):\r\n\r\n"
          "  ./install-helper.sh zelvo-sockhelper\r\n\r\n"
          "manager.log tells more."},
    // Linux additions: this PC's DHCP client could not be asked (NetworkManager, networkd or
    // the kernel failed with an error); the error's number and text follow.
    {903, "DHCPクライアントの情報を取得できませんでした。\r\nエラー "},
    {904, "The DHCP client information could not be read.\r\nError "},
    // The search cannot send ICMP: no ping socket for this account, and it is not in the
    // group that may run zelvo-sockhelper.
    {920, "このアカウントには ping ソケットが許されておらず、補助プログラム zelvo-sockhelper を"
          "使えるグループ zelvo-setup のメンバーでもないため、ICMPエコー要求を送信できません。"
          "VELDIXシリーズを検索できません。\r\n\r\n"
          "管理者に、このアカウントをグループ zelvo-setup に追加するよう依頼してください"
          "（root で実行）：\r\n\r\n"
          "  usermod -aG zelvo-setup USER\r\n\r\n"
          "追加のあと、いったんログアウトしてから、もう一度ログインしてください。\r\n"
          "詳しくは manager.log を参照してください。"},
    {921, "The search cannot send ICMP echo requests: this system does not allow ping sockets "
          "for your account, and your account is not a member of the group zelvo-setup, whose "
          "members may use the helper program zelvo-sockhelper.\r\n\r\n"
          "Ask an administrator to add your account to the group (as root, USER being your "
          "user name):\r\n\r\n"
          "  usermod -aG zelvo-setup USER\r\n\r\n"
          "then log out and log in again.\r\n"
          "manager.log tells more."},
    // Linux additions: the temporary-address responder cannot have UDP port 67. Set IP
    // tells it at every run, Search once per program run. 930/931 end with the name of
    // the program that holds the port.
    {930, "このPCのUDPポート67（DHCPサーバ用）を他のプログラムが使用しているため、\r\n"
          "VELDIXシリーズに仮IPアドレスを設定できません。\r\n"
          "そのDHCPサーバを停止してから、もう一度実行してください。\r\n\r\n"
          "使用中のプログラム："},
    {931, "Another program on this PC uses UDP port 67 (DHCP server), so this software\r\n"
          "cannot set up the VELDIX temporary IP address.\r\n"
          "Stop that DHCP server and try again.\r\n\r\n"
          "Program using the port: "},
    {932, "このPCのUDPポート67（DHCPサーバ用）を他のプログラムが使用しているため、\r\n"
          "VELDIXシリーズに仮IPアドレスを設定できません。\r\n"
          "そのDHCPサーバを停止してから、もう一度実行してください。"},
    {933, "Another program on this PC uses UDP port 67 (DHCP server), so this software\r\n"
          "cannot set up the VELDIX temporary IP address.\r\n"
          "Stop that DHCP server and try again."},
    {934, "UDPポート67（DHCPサーバ用）を開く権限がないため、\r\n"
          "VELDIXシリーズに仮IPアドレスを設定できません。\r\n"
          "補助プログラム zelvo-sockhelper を使えるよう、管理者に設定を依頼してください。\r\n\r\n"
          "詳しくは manager.log を参照してください。"},
    {935, "This program may not open UDP port 67 (DHCP server), so it cannot set up\r\n"
          "the VELDIX temporary IP address.\r\n"
          "Ask your administrator to set up its helper program zelvo-sockhelper for you.\r\n\r\n"
          "manager.log tells more."},
    {936, "UDPポート67（DHCPサーバ用）を開けないため、\r\n"
          "VELDIXシリーズに仮IPアドレスを設定できません。\r\n\r\n"
          "詳しくは manager.log を参照してください。"},
    {937, "UDP port 67 (DHCP server) cannot be opened, so this software cannot set up\r\n"
          "the VELDIX temporary IP address.\r\n\r\n"
          "manager.log tells more."},
    // Linux additions: the host firewall and the responder. 950/951 and 952/953 are
    // followed by the command that lets the DHCP requests in, then 956/957 and the card.
    // Told once per program run; the firewall itself is never changed.
    {950, "このPCのファイアウォールが、下記のネットワークカードに届くDHCP要求（UDPポート67）を破棄するため、\r\n"
          "IPアドレス設定待ちのVELDIXシリーズの要求を受け取れません。\r\n"
          "本ソフトはファイアウォールを変更しません。要求を受け付けるには、root で次のコマンドを実行してください：\r\n\r\n"},
    {951, "The firewall of this PC drops the DHCP requests (UDP port 67) that reach the card\r\n"
          "named below, so a VELDIX waiting for an IP address cannot be heard.\r\n"
          "This software does not change the firewall. To let the requests in, run as root:\r\n\r\n"},
    {952, "このPCではファイアウォールが動作しています。このアカウントではその設定を読めませんが、\r\n"
          "初期設定ではDHCP要求（UDPポート67）を破棄するため、IPアドレス設定待ちのVELDIXシリーズが\r\n"
          "見つからないことがあります。見つからない場合は、root で次のコマンドを実行してください：\r\n\r\n"},
    {953, "A firewall runs on this PC. This account cannot read its rules, but by default it\r\n"
          "drops DHCP requests (UDP port 67), so a VELDIX waiting for an IP address may not be\r\n"
          "heard. If no unit is found, run as root:\r\n\r\n"},
    // Set IP's window ran out and not one datagram reached port 67
    {954, "待ち時間の間に、DHCP要求（UDPポート67）は一つも届きませんでした。\r\n"
          "VELDIXシリーズの電源とケーブルの接続、およびこのPCのファイアウォールの設定を確認してください。\r\n\r\n"
          "詳しくは manager.log を参照してください。"},
    {955, "No DHCP request (UDP port 67) reached this PC while Set IP waited.\r\n"
          "Check that the VELDIX is on and cabled to this PC's network, and that no firewall\r\n"
          "on this PC drops its requests.\r\n\r\n"
          "manager.log tells more."},
    {956, "ネットワークカード："},
    {957, "Card: "},
    // Linux additions of the command-line front end (Japanese even, English odd).
    // UNIT names no unit that the search listed; the UNIT text follows.
    {960, "検索で見つかったVELDIXシリーズの中に、指定されたものはありません : "},
    {961, "No unit listed by the search matches : "},
    // UNIT is a computer name that several listed units carry; the UNIT text follows.
    {962, "同じコンピュータ名のVELDIXシリーズが複数あります。IPアドレスかMACアドレスで指定してください : "},
    {963, "Several units carry this computer name; name the unit by its IP or MAC address : "},
    // a question without a terminal to ask it on and without --yes
    {964, "質問に答える端末がないため、中止しました。「はい」と答えるには --yes を付けてください。"},
    {965, "No terminal to ask this question on: refused. Add --yes to answer yes."},
    // the prompt after a question on the terminal
    {966, "はい(y) / いいえ(n) : "},
    {967, "Yes or no (y/n) : "},
    // another instance of the tool (window or command line) runs
    {968, "Zelvoセットアップツールは既に実行中です。終了してから、もう一度実行してください。"},
    {969, "Zelvo Setup Tool is already running. Let it end, then run this again."},
    // a question answered by --yes
    {970, "はい (--yes)"},
    {971, "Yes (--yes)"},
    // assign on a PC that a DHCP server configured: the units get their addresses there
    {972, "このネットワークにはDHCPサーバがあるため、仮IPアドレスは設定しません。"},
    {973, "A DHCP server configured this PC: the units get their addresses from it, so no temporary address is given."},
    // a unit is heard on a card of the PC that has no IPv4 address (only a link-local
    // one, or none): the card's name stands between the two parts
    {990, "VELDIXシリーズがこのPCのネットワークカード "},
    {991, "A VELDIX unit is connected to this PC's network card "},
    {992, " につながっていますが、このカードにはIPアドレスがないため、通信できません。\r\n\r\n"
          "このカードに、VELDIXシリーズと同じ範囲の固定IPアドレスを設定してから、もう一度検索してください。"},
    {993, ", but that card has no IP address, so the unit cannot be reached.\r\n\r\n"
          "Give this card a fixed IP address in the units' range, then search again."},
    // manager.ini names no FTP directory: the same text in both languages.
    {940, "You need provide a directory name.\n"},
    {941, "You need provide a directory name.\n"},
    // Linux addition of the transfer commands: a path or name that does not fit the
    // commands' 260-byte buffers (the path follows).
    {942, "ファイルのパスが長すぎるため、使用できません（259バイトまで）。\r\n\r\n"},
    {943, "The file's path is too long for this tool (at most 259 bytes).\r\n\r\n"},
    // Linux addition: run as root, the tool starts no browser; the address follows.
    {944, "管理者（root）として実行しているため、ブラウザは起動しません。\r\n"
          "次のアドレスをブラウザで開いてください :\r\n\r\n"},
    {945, "The tool runs as root, so it does not start the browser.\r\n"
          "Open this address in your browser :\r\n\r\n"},
};
// clang-format on

} // namespace

const char* MessageCatalogue::Text(int id)
{
    for (const Entry& e : kEntries)
        if (e.id == id)
            return e.text;
    return nullptr;
}

std::string MessageCatalogue::Choose(int language, int japaneseId, int englishId)
{
    const char* t = Text(IsJapanese(language) ? japaneseId : englishId);
    return t ? std::string(t) : std::string();
}

} // namespace zelvo
