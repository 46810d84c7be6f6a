; Test volume boot record for the boot test under qemu.
;
; To the partition search it looks like an NTFS boot sector ("NTFS    " at
; offset 3, total sectors at 0x28, 55 AA at the end), so a repair over an
; image holding it at sector 2048 writes a partition entry for it. When the
; MBR boot program hands over to it, it checks the hand-over registers and
; reports to qemu's debug console (port 0xE9):
;   "VANTREL-BOOT-OK"        DL is the first hard disk (0x80) and DS:SI points
;                            at an active entry whose start LBA is 2048;
;   "VANTREL-BOOT-BADHANDOFF" otherwise.
; It then ends qemu through the isa-debug-exit device at port 0xF4.

        cpu     8086
        bits    16
        org     0x7C00

PARTITION_LBA   equ 2048

        jmp     short start
        nop
        db      "NTFS    "              ; OEM id, what the search looks for
        dw      512                     ; 0x0B bytes per sector
        db      8                       ; 0x0D sectors per cluster
        dw      0                       ; 0x0E reserved sectors
        times   3 db 0                  ; 0x10 unused
        dw      0                       ; 0x13 unused
        db      0xF8                    ; 0x15 media descriptor: fixed disk
        dw      0                       ; 0x16 unused
        dw      63                      ; 0x18 sectors per track
        dw      255                     ; 0x1A heads
        dd      PARTITION_LBA           ; 0x1C hidden sectors
        dd      0                       ; 0x20 unused
        db      0x80, 0, 0x80, 0        ; 0x24 drive number, flags, 0x80, reserved
        dq      4096                    ; 0x28 total sectors (the volume is this plus one)
        dq      4                       ; 0x30 $MFT cluster
        dq      256                     ; 0x38 $MFTMirr cluster
        db      0xF6, 0, 0, 0           ; 0x40 MFT record size: 2^10 bytes
        db      1, 0, 0, 0              ; 0x44 clusters per index block
        dq      0x56414E5452454C30      ; 0x48 volume serial number
        dd      0                       ; 0x50 checksum

%if ($ - $$) != 0x54
  %error "BPB layout is off"
%endif

start:
        cmp     dl, 0x80
        jne     .bad
        cmp     byte [si], 0x80         ; DS:SI -> the active entry
        jne     .bad
        cmp     word [si + 8], PARTITION_LBA & 0xFFFF
        jne     .bad
        cmp     word [si + 10], PARTITION_LBA >> 16
        jne     .bad
        xor     ax, ax                  ; the marker is read through DS = 0
        mov     ds, ax
        mov     si, msg_ok
        jmp     short .report
.bad:
        xor     ax, ax
        mov     ds, ax
        mov     si, msg_bad
.report:
        cld
.char:
        lodsb
        test    al, al
        jz      .exit
        out     0xE9, al
        jmp     short .char
.exit:
        mov     al, 0x0A
        out     0xE9, al
        mov     al, 1                   ; qemu exits with status (1 << 1) | 1 = 3
        out     0xF4, al
.halt:
        cli
        hlt
        jmp     short .halt

msg_ok:  db      "VANTREL-BOOT-OK", 0
msg_bad: db      "VANTREL-BOOT-BADHANDOFF", 0

        times   510 - ($ - $$) db 0
        db      0x55, 0xAA
