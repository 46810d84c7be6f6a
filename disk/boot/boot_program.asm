; Vantrel boot program: the first 440 bytes of a master boot record.
;
; The BIOS loads sector 0 to 0000:7C00 and jumps there with DL = boot drive.
; The program copies itself down to 0000:0600 so that the active partition's
; first sector can be loaded at 0000:7C00, where every volume boot record
; expects to run, and then hands over to it.
;
; What happens, case by case:
;   - exactly one entry with status 0x80, every other status 0x00, its first
;     sector read and ending in 55 AA: jump to 0000:7C00 with DL = boot drive,
;     DS = ES = 0 and DS:SI (also DS:BP) pointing at the active entry in the
;     relocated copy of the partition table;
;   - a status other than 0x00 or 0x80, or a second 0x80 entry:
;     "Invalid partition table";
;   - no active entry at all: int 18h, the BIOS "no bootable disk" service,
;     which on current firmware moves on to the next boot device. Should it
;     return, "Missing operating system" is shown, since there is nothing on
;     this disk to start;
;   - the sector cannot be read after READ_TRIES attempts (disk reset between
;     attempts): "Error loading operating system";
;   - the sector was read but does not end in 55 AA: "Missing operating system".
; After a message the machine idles in a hlt loop with interrupts enabled, so
; the keyboard (Ctrl+Alt+Del) still works.
;
; Reading uses the BIOS extended read (int 13h AH=42h, LBA from the entry) when
; int 13h AH=41h reports packet access; otherwise it falls back to the entry's
; CHS address with int 13h AH=02h.
;
; The three messages sit at fixed offsets, and bytes 437..439 hold the low byte
; of each message's address. All three messages lie in the 0x07xx page once
; relocated, so the code rebuilds a message address from its byte alone; a
; translated build only has to move the strings and update those bytes.
;
; Only 8086 instructions are used.

        cpu     8086
        bits    16

LOAD_ADDR       equ 0x7C00              ; where the BIOS puts us, and where the VBR goes
RELOC_ADDR      equ 0x0600              ; where this program runs after the copy
PART_TABLE      equ RELOC_ADDR + 0x1BE  ; the four 16-byte entries, relocated
SCRATCH         equ RELOC_ADDR + 0x200  ; free RAM just past the relocated sector
boot_drive      equ SCRATCH             ; byte: DL as the BIOS gave it
disk_packet     equ SCRATCH + 0x10      ; 16-byte disk address packet for AH=42h
READ_TRIES      equ 5
MSG_PAGE        equ 0x07                ; high byte of every message address

; Offsets inside a partition entry.
ENTRY_STATUS    equ 0
ENTRY_CHS_HEAD  equ 1                   ; head, then sector|cyl-high, then cyl-low
ENTRY_CHS_SECT  equ 2
ENTRY_LBA       equ 8

        org     RELOC_ADDR

start:
        ; Until the far jump below the code runs at 0x7C00 while being assembled
        ; for 0x0600, so nothing up to there may refer to a label.
        db      0x33, 0xC0              ; xor ax,ax (33 form, part of the on-disk layout)
        mov     ss, ax                  ; mov ss holds off interrupts for one instruction,
        mov     sp, LOAD_ADDR           ; so ss:sp is never half-set
        mov     ds, ax
        mov     es, ax
        cld
        mov     si, LOAD_ADDR
        mov     di, RELOC_ADDR
        mov     cx, 256                 ; 512 bytes, as words
        rep     movsw
        jmp     0:relocated             ; also normalises CS (some BIOSes enter at 07C0:0000)

relocated:
        sti
        mov     [boot_drive], dl

        ; Find the active entry; BP = its address, 0 while none was seen.
        mov     si, PART_TABLE
        xor     bp, bp
        mov     cx, 4
.scan:
        mov     al, [si + ENTRY_STATUS]
        cmp     al, 0x80
        jne     .not_active
        test    bp, bp
        jnz     invalid_table           ; a second active entry
        mov     bp, si
        jmp     short .next
.not_active:
        test    al, al
        jnz     invalid_table           ; neither 0x00 nor 0x80
.next:
        add     si, 16
        loop    .scan

        test    bp, bp
        jnz     load_partition
        int     0x18                    ; nothing to boot here: let the BIOS go on
        jmp     missing_os

load_partition:
        ; Clear the signature of the MBR copy still at 0x7C00, so a read that
        ; reports success without transferring anything cannot pass the check.
        mov     word [LOAD_ADDR + 510], 0

        ; Build the packet for the extended read; it is ignored by the CHS read.
        mov     di, disk_packet
        mov     ax, 0x0010              ; packet size 16, reserved byte 0
        stosw
        mov     ax, 1                   ; one sector
        stosw
        mov     ax, LOAD_ADDR           ; buffer offset
        stosw
        xor     ax, ax                  ; buffer segment 0
        stosw
        mov     ax, [bp + ENTRY_LBA]    ; 64-bit LBA: the entry's 32-bit start, then 0
        stosw
        mov     ax, [bp + ENTRY_LBA + 2]
        stosw
        xor     ax, ax
        stosw
        stosw

        ; DI = the int 13h AX that reads the sector: AH=42h when the drive
        ; supports packet access, AH=02h AL=1 (one sector by CHS) otherwise.
        mov     di, 0x0201
        mov     ah, 0x41
        mov     bx, 0x55AA
        mov     dl, [boot_drive]
        int     0x13
        jc      .read
        cmp     bx, 0xAA55              ; extensions present?
        jne     .read
        test    cl, 1                   ; bit 0: AH=42h..44h,47h,48h supported
        jz      .read
        mov     di, 0x4200

.read:
        mov     cx, READ_TRIES
.attempt:
        push    cx
        mov     ax, di
        mov     si, disk_packet         ; AH=42h: DS:SI -> packet
        mov     bx, LOAD_ADDR           ; AH=02h: ES:BX -> buffer
        mov     dh, [bp + ENTRY_CHS_HEAD]
        mov     cx, [bp + ENTRY_CHS_SECT]   ; CL = sector|cyl-high, CH = cyl-low
        mov     dl, [boot_drive]
        int     0x13
        pop     cx
        jnc     .loaded
        xor     ax, ax                  ; reset the disk system before trying again
        mov     dl, [boot_drive]
        int     0x13
        loop    .attempt
        jmp     short load_error

.loaded:
        cmp     word [LOAD_ADDR + 510], 0xAA55
        jne     missing_os
        mov     si, bp                  ; DS:SI -> active entry
        mov     dl, [boot_drive]
        jmp     0:LOAD_ADDR

invalid_table:
        mov     al, [msg_lows + 0]
        jmp     short show_message
load_error:
        mov     al, [msg_lows + 1]
        jmp     short show_message
missing_os:
        mov     al, [msg_lows + 2]
show_message:
        mov     ah, MSG_PAGE
        mov     si, ax
.char:
        lodsb
        test    al, al
        jz      halt
        mov     ah, 0x0E                ; teletype output
        mov     bx, 0x0007              ; page 0, grey (used in graphics modes)
        int     0x10
        jmp     short .char

halt:
        sti
        hlt
        jmp     short halt

code_end:
%if (code_end - start) > 0x163
  %error "boot code runs into the messages at 0x163"
%endif

        times   0x163 - ($ - $$) db 0
msg_invalid:
        db      "Invalid partition table", 0
msg_load:
        db      "Error loading operating system", 0
msg_missing:
        db      "Missing operating system", 0

%if (msg_invalid - start) != 0x163
  %error "Invalid partition table is not at 0x163"
%endif
%if (msg_load - start) != 0x17B
  %error "Error loading operating system is not at 0x17B"
%endif
%if (msg_missing - start) != 0x19A
  %error "Missing operating system is not at 0x19A"
%endif
%if (($ - $$) > 437)
  %error "messages run into the message offset bytes at 437"
%endif
%if ((msg_invalid - start + RELOC_ADDR) >> 8) != MSG_PAGE || ((msg_missing - start + RELOC_ADDR) >> 8) != MSG_PAGE
  %error "a message is outside the page the code assumes"
%endif

        times   437 - ($ - $$) db 0
msg_lows:
        db      (msg_invalid - start + RELOC_ADDR) & 0xFF
        db      (msg_load - start + RELOC_ADDR) & 0xFF
        db      (msg_missing - start + RELOC_ADDR) & 0xFF

%if ($ - $$) != 440
  %error "the boot program must be exactly 440 bytes"
%endif
