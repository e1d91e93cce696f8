# Configuration Manager global condition for the Outlook requirement (Setting
# type Script, PowerShell, Data type String): the registered Outlook's
# versioned ProgID, the default value of HKLM\Software\Classes\
# Outlook.Application\CurVer ("Outlook.Application.12" for Outlook 2007);
# nothing when no Outlook is registered. Signed with the other scripts, so that
# clients under the All Signed execution policy run it.
$curVer = Get-ItemProperty -LiteralPath 'HKLM:\Software\Classes\Outlook.Application\CurVer' -ErrorAction SilentlyContinue
if ($curVer) { $curVer.'(default)' }
