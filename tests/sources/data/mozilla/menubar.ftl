
# Comment
-brand-short-name = Firefox
menu-file =
    .label = File
menu-file-new-tab =
    .label = New Tab
menu-file-close-tab =
    .label =
        { $tabCount ->
            [1] Close Tab
           *[other] Close { $tabCount } Tabs
        }
menu-quit =
    .label =
        { PLATFORM() ->
            [windows] Exit
           *[other] Quit
        }
menu-about =
    .label = About { -brand-short-name }
tab-new-shortcut =
    .key = T
downloads-shortcut =
    .key = { PLATFORM() ->
        [linux] Y
       *[other] J
    }
bracket-shortcut =
    .key = {"}"}
plain = Two words
    on two lines
loop = { loop }
