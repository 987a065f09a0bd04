# Detection script of a remediation pair: exit 0 when Quillmere finds nothing to
# repair, 1 when it does, or when it cannot tell (so such a machine does not pass
# as healthy). The one line it prints is what the management console shows.

# The installed folder, never the script's own: a 32-bit PowerShell sees the
# 64-bit Program Files folder only through ProgramW6432.
$folder = $env:ProgramW6432
if (-not $folder) { $folder = $env:ProgramFiles }
$companion = Join-Path $folder 'Quillmere\quillmere-cli.exe'
if (-not (Test-Path -LiteralPath $companion -PathType Leaf)) {
    Write-Output "Quillmere is not installed: $companion is missing"
    exit 1
}

# The companion writes UTF-8 to a pipe; PowerShell would read it in the OEM code page.
try { [Console]::OutputEncoding = New-Object System.Text.UTF8Encoding $false } catch { }

$output = & $companion check
$code = $LASTEXITCODE
$last = @($output) | Select-Object -Last 1
if ($null -ne $last) { Write-Output $last }
if ($code -eq 2) { exit 1 }
exit $code
